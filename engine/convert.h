#pragma once

#include "engine/configfields.h"
#include "report/layout.h"
#include "report/pagewriter.h"
#include "report/printedfield.h"

#include <QFont>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QByteArray;
class QJsonArray;
class QJsonObject;
class QPainter;
class QPdfWriter;
QT_END_NAMESPACE
class ReportVolume;

using GeneralConfig = ConfigRecord;
using DisplayConfig = ConfigRecord;
using TlfConfig = ConfigRecord;
using ModbusConfig = ConfigRecord;
using ServiceConfig = ConfigRecord;
using OutputConfig = ConfigRecord;
using RelaisConfig = ConfigRecord;

// Turns one configuration JSON file into one PDF report. Created on the GUI
// thread, run once on a pool thread; reports its progress steps in order and
// ends with exactly one of finished() or aborted().
class convert : public QObject
{
    Q_OBJECT

    // The report's pages. Declared first: the cursor and fonts below are
    // its own.
    PageWriter m_page;

public:
    // The progress one conversion reports, step by step in this order: the
    // reader (engine/reader.cpp) once per section it has read, the report
    // once its title block stands (drawTitleBlock()), and the sections
    // (report/sections.cpp) once per section drawn. The offsets are neither
    // part of the report nor printed; their steps are kept, so the count
    // stays what a window or a caller already shows.
    enum ProgressStep {
        GeneralRead = 1,
        OutputsRead,
        DisplayRead,
        TlfRead,
        RelaisRead,
        OffsetsRead,
        ModbusRead,
        ServiceRead,
        TitleDrawn,
        GeneralDrawn,
        OutputsDrawn,
        DisplayDrawn,
        TlfDrawn,
        RelaisDrawn,
        OffsetsDrawn,
        ModbusDrawn,
        ServiceDrawn,
    };
    // Conversions may run in parallel; the number of progress steps of one.
    static constexpr int ProgressSteps = ServiceDrawn;

    explicit convert(QObject *parent = nullptr);
    ~convert() override;

    // Prepares process-wide state (resources, the report fonts) that
    // must not first be touched by several pool threads at once. Call once on
    // the GUI thread after the application object exists, before any run().
    static void initialise();

    // The report file written for pdfPath: used unchanged when it ends in
    // ".pdf", otherwise with every ".json" in it replaced by ".pdf".
    static QString outputFileName(const QString &pdfPath);

    // A4 portrait at 1200 units per inch, with Qt's default PDF margins.
    static void configurePage(QPdfWriter &pdf) { PageWriter::configurePage(pdf); }

    // Runs task on the global thread pool. The pool owns it from here: the
    // object deletes itself on its own thread once run() has returned, so no
    // receiver of its signals may delete it, and none has to.
    static void start(convert *task, const QString &sourcePath, const QString &pdfPath);
    struct Conversion
    {
        convert *task;
        QString sourcePath;
        QString pdfPath;
    };
    // Runs the conversions one after the other as one work item of the pool,
    // on one thread, then afterwards (if given) on that thread. Should the
    // pool drop the work unbegun, afterwards runs when it is dropped.
    static void startInOrder(const QVector<Conversion> &conversions,
                             const std::function<void()> &afterwards);

    void run(QString sourcePath, QString pdfPath);

    // Reports for archives: PDF/A-1b, titled with the configuration's name
    // and signed with the program as creator. Off unless set before start().
    void setArchival(bool archival) { m_page.setArchival(archival); }
    // Draws the report into volume, after the reports drawn there before it,
    // instead of writing a file of its own; pdfPath names it there. The
    // volume's conversions must run in order on one thread (startInOrder).
    void setVolume(std::shared_ptr<ReportVolume> volume) { m_volume = std::move(volume); }

    // Asks every conversion of the process to end as soon as it can, with
    // nothing written (the program is being interrupted). Cannot be undone.
    static void requestStop();
    // This conversion is to end without a report: the process is stopping,
    // or the task was cancelled.
    bool stopRequested() const;

    // Asks this task to end as soon as it can, with nothing written (its row
    // was removed). True when run() had not begun: it will touch no file.
    // Otherwise it may still be writing until it ends. Any thread.
    bool cancel();
    bool isCancelled() const { return m_cancelled.load(); }

    void readConfiguration(const QJsonObject &root);
    // Reads the file at sourcePath into the document with run()'s checks
    // and refusals, and writes nothing: false, with the reason, when the
    // file is refused. root, if given, receives the file's root object.
    bool readSource(const QString &sourcePath, QString *reason, QJsonObject *root = nullptr);
    // What a report of the file whose root this is would be warned of
    // (warned()); empty for nothing.
    QString warningFor(const QJsonObject &root) const;

    // The values the report of the document read last prints, in its
    // order, with where each stands; nothing is drawn.
    QVector<PrintedField> printedFields();
    // Draws the report of the document read last from the current page of
    // pages opened elsewhere (a change report's), the lines of the values
    // numbered in marked (in printedFields()' order) marked in the margin.
    // Returns the number of pages it drew on.
    int drawOn(QPainter *painter, QPdfWriter *writer, const QVector<bool> &marked = {});

    // Writes the report for the document read last. The file appears at the
    // target only when complete; on failure *reason says why and an earlier
    // file at the target is left as it was.
    bool writeReport(QString pdfPath, QString *reason);

    // The configuration document, filled by readConfiguration().
    GeneralConfig general;
    DisplayConfig display;
    TlfConfig tlf;
    ModbusConfig modbus;
    ServiceConfig service;
    QVector<OutputConfig> outputs;
    QVector<RelaisConfig> relais;

signals:
    void newPbarValue(int value);
    void finished();
    void aborted();
    // Why the conversion is being aborted, in the user's language; emitted
    // once, right before aborted().
    void abortReason(const QString &reason);
    // The report is written but says little, in the user's language (a file
    // without its configuration object: only defaults); right before
    // finished().
    void warned(const QString &warning);

protected:
    // The page writer's operations every section draws with. Valid only
    // while writeReport() runs.
    void nextLine() { m_page.nextLine(); }
    void ensureSpace(int blockHeight) { m_page.ensureSpace(blockHeight); }
    void startNewPage() { m_page.startNewPage(); }
    void drawHeading(const QString &text, int width = Layout::FullWidth,
                     int height = Layout::BoxHeight)
    {
        m_page.drawHeading(text, width, height);
    }
    void drawLeft(int row, const QString &text) { m_page.drawLeft(row, text); }
    void drawRight(int row, const QString &text) { m_page.drawRight(row, text); }
    void drawBox(int x, int row, int width, const QString &text)
    {
        m_page.drawBox(x, row, width, text);
    }
    // nextLine(), then the row's left and (if given) right text at the new cursor.
    void drawRow(const QString &left, const QString &right = QString())
    {
        m_page.drawRow(left, right);
    }
    // The row below row; a row that would pass the limit goes to a new page.
    int nextRow(int row) { return m_page.nextRow(row); }

    // Every value the sections print passes here: label (which carries its
    // own ": ") and text, as one line in the box at (x, row) of width. The
    // value is the one at position (and element) of the section's record.
    void printField(int x, int row, int width, const QString &label, const QString &text,
                    int position, int element = -1)
    {
        m_page.drawBox(x, row, width, label + text);
        m_fields.note(m_page, x, row, label, text, position, element);
    }
    void printLeft(int row, const QString &label, const QString &text, int position,
                   int element = -1)
    {
        printField(Layout::LeftX, row, Layout::ColumnWidth, label, text, position, element);
    }
    void printRight(int row, const QString &label, const QString &text, int position)
    {
        printField(Layout::RightX, row, Layout::ColumnWidth, label, text, position);
    }
    // drawRow() of a value: nextLine(), then the value at the new cursor.
    void printRow(const QString &label, const QString &text, int position)
    {
        nextLine();
        printLeft(y, label, text, position);
    }
    // The heading of a section, whose values follow from its record.
    void beginSection(Config::Section section, const QString &heading,
                      int width = Layout::FullWidth, int height = Layout::BoxHeight);
    // The heading of a block of outputs or relais, which shows a value
    // itself: title, ": " and the text of the value at position.
    void beginBlock(Config::Section section, int entry, const QString &title, const QString &text,
                    int position, int width = Layout::FullWidth);
    QPainter *painter() const { return m_page.painter(); }
    // The sections draw on its pages; drawn elsewhere, they begin with
    // PageWriter::drawOn().
    PageWriter &pageWriter() { return m_page; }

    // The page writer's line cursor and fonts.
    int &y;
    const QFont &headingFont;
    const QFont &bodyFont;
    QString jsonPath;

    // The report's fonts, and its sections in their order below the title.
    static QFont reportFont(int pixelSize, QFont::Weight weight = QFont::Normal)
    {
        return PageWriter::reportFont(pixelSize, weight);
    }
    void drawTitleBlock();
    void drawSections();
    void renderGeneral();
    void renderOutputs();
    void renderDisplay();
    void renderTlf();
    void renderRelais();
    void renderModbus();
    void renderService();

private:
    // The title block and the sections, on pages counted from the current one.
    void drawReport();
    bool drawIntoVolume(const QString &pdfPath, QString *reason);
    // False, with the reason for the report at target, once a stop is asked.
    bool checkNotStopped(const QString &target, QString *reason) const;
    // Tells a ThreadSanitizer build about the hand-off each signal makes.
    void announceHandOffs();
    bool loadSource(const QString &path, QByteArray *bytes, QString *reason) const;
    void fail(const QString &reason);
    // Refuses, with the reason, a text that is not JSON or holds no document;
    // a text in UTF-16 or UTF-32 with a byte order mark is decoded to UTF-8.
    bool checkSyntax(QByteArray *bytes, QString *reason) const;

    void readOutputs(const QJsonArray &array);
    void readDisplay(const QJsonObject &object);
    void readTlf(const QJsonObject &object);
    void readRelais(const QJsonArray &array);
    void readModbus(const QJsonObject &object);
    void readService(const QJsonObject &object);

    std::shared_ptr<ReportVolume> m_volume;
    FieldPrinter m_fields;
    // Sequentially consistent, both: of cancel() and the start of run(),
    // each sees the other's mark, so exactly one decides whether the task
    // writes.
    std::atomic<bool> m_cancelled {false};
    std::atomic<bool> m_begun {false};
};
