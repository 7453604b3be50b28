#pragma once

#include <QString>
#include <QWidget>

#include <functional>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QPoint;
class QProgressBar;
class QResizeEvent;
class QUrl;
QT_END_NAMESPACE

class cButton;

// One row of the file list: the target PDF path, shortened at the left, a
// progress bar and the buttons remove, "Speichern unter" and convert. The row
// remembers the configuration file it came from and where its conversion
// stands; the window does the work.
class ListWidgetContainer : public QWidget
{
    Q_OBJECT

public:
    enum class Conversion { Idle, Started, Finished, Failed };
    // The parts of a row that take the keyboard focus.
    enum class Part { None, PathField, DeleteButton, NewNameButton, KonvertButton };
    // What became of handing a file or folder to the desktop.
    enum class OpenResult { Opened, NoProgram, ProgramFailed };

    // Asks the user for another target, starting from the current one; an
    // empty result means cancelled. The answer is the target as the row will
    // write it: a file there has been agreed to be replaced.
    using TargetChooser = std::function<QString(const QString &currentTarget)>;
    // Hands a file or folder to the desktop and calls back with the outcome,
    // perhaps only once the desktop's helper has ended.
    using OpenDone = std::function<void(OpenResult result)>;
    using UrlOpener = std::function<void(const QUrl &url, const OpenDone &done)>;

    ListWidgetContainer(QWidget *parent, QString path, QString sourcePath = QString());
    ~ListWidgetContainer() override;

    // The ways to the desktop a row takes, for the window's own files too:
    // asks, over parent, for a PDF to write (".pdf" added, an existing file
    // agreed to be replaced); an empty result means cancelled.
    static QString askForPdf(QWidget *parent, const QString &caption, const QString &start);
    // Hands url to the desktop's program for it.
    static void openOnDesktop(const QUrl &url, const OpenDone &done);
    // A local path as a URL by its bytes.
    static QUrl fileUrl(const QString &path);

    // Gives holder the rows' style sheet, for every row made inside it later:
    // a list of many rows parses it once, not once per row. A row elsewhere
    // sets it on itself.
    static void shareStyle(QWidget *holder);

    QString path() const { return m_path; }
    QString sourcePath() const { return m_sourcePath; }
    // What the last report written was warned of; empty for none.
    QString warning() const { return m_warning; }
    // Sets the target without asking, e.g. to take back a refused new name.
    void setPath(const QString &target);

    Conversion conversion() const { return m_conversion; }
    // Idle or failed: "convert all" starts it.
    bool isAtRest() const;
    // Not started: its own button may (re)start it.
    bool canStart() const { return m_conversion != Conversion::Started; }
    // A task for this row has been queued; it must not be started again, and
    // its target stays until the task has ended. The bar says "wartet" until
    // the task reports its first step.
    void markStarted();

    void setTargetChooser(TargetChooser chooser);
    void setUrlOpener(UrlOpener opener);

    // The report is there to be looked at: not being written, and present.
    bool reportAvailable() const;
    void openReport();
    void openFolder();
    // The whole target path, never the shortened text of the field: as a
    // file URL and as text.
    void copyPath();

    // For the window to keep the focus on the same part when rows come and go.
    Part focusedPart() const;
    void focusPart(Part part);

signals:
    void deleteMe();
    void newName(QString s);
    void konvertMe();
    // "Mit früherem Stand vergleichen …": a change report from an earlier
    // state of the row's configuration to its own.
    void compareMe();
    // The conversion under way has ended, written or not.
    void conversionEnded(bool written);
    // Something the user should read in the window's status line.
    void notice(const QString &text);
    // One of the row's parts has got the keyboard focus.
    void partFocused();

public slots:
    void setPbarRange(int min, int max);
    void setPbarValue(int value);
    void conversionFinished();
    // The report will be written, but warned of (the text, the bar's
    // tooltip): shown when it has finished. Ignored unless under way.
    void conversionWarned(const QString &warning);
    // Ignored unless a conversion is under way, so that the reason and the
    // final aborted() of one task are shown once.
    void conversionFailed(const QString &reason = QString());

private slots:
    void setTextElided();

protected:
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askNewName();
    void showContextMenu(const QPoint &pos);
    bool handlePathFieldEvent(QEvent *event);
    void openUrl(const QUrl &url, const QString &noProgram, const QString &programFailed);
    // Marks the bar for the style sheet: failed, warned, or neither.
    void setBarLook(const char *property, bool on);
    // Buttons that must not act while a task writes the target. They keep
    // the focus: a disabled button would pass it on to the next row.
    void setTargetButtonsBusy(bool busy);
    QWidget *partWidget(Part part) const;
    void showFailureText();
    // Idle, the bar at its minimum with the percentage and no error.
    void showAtRest();

    QString m_path;
    QString m_sourcePath;
    QProgressBar *m_progress = nullptr;
    QLineEdit *m_pathField = nullptr;
    cButton *m_deleteButton = nullptr;
    cButton *m_newNameButton = nullptr;
    cButton *m_konvertButton = nullptr;
    Conversion m_conversion = Conversion::Idle;
    QString m_failure;
    QString m_warning;
    // The field width and path the shown text was shortened for.
    int m_elidedWidth = -1;
    QString m_elidedPath;
    TargetChooser m_chooseTarget;
    UrlOpener m_openUrl;
};
