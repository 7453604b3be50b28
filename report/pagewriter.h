#pragma once

#include "report/layout.h"

#include <QCoreApplication>
#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QPainter;
class QPdfWriter;
QT_END_NAMESPACE
class ReportFile;

// Draws the pages of a document in the report's layout: the page set-up, the
// report's fonts, a line cursor that turns the page at the bottom limit, and
// the boxes every line is drawn in. It writes a PDF file of its own, which
// appears at its target complete or not at all (openFile(), finishFile()),
// or draws on a painter and writer owned elsewhere, such as a volume's
// (drawOn(), stopDrawing()). The drawing operations are valid only between
// the two.
class PageWriter
{
    Q_DECLARE_TR_FUNCTIONS(PageWriter)

public:
    PageWriter();
    ~PageWriter(); // a file still open is discarded

    // Registers the report's fonts with the font database. Call once on the
    // GUI thread before any page is drawn.
    static void initialise();
    // A4 portrait at 1200 units per inch, with Qt's default PDF margins.
    static void configurePage(QPdfWriter &pdf);
    static QFont reportFont(int pixelSize, QFont::Weight weight = QFont::Normal);

    // An archival PDF: PDF/A-1b, with title and the program as creator.
    static void describeArchival(QPdfWriter &pdf, const QString &title);
    // Archival pages: a file of its own is PDF/A-1b and carries a title and
    // the program as creator; text is drawn as shown() gives it.
    void setArchival(bool archival) { m_archival = archival; }

    // Opens a PDF for target and begins its first page; title names an
    // archival one. False, with the reason, when it cannot be opened: an
    // earlier file at target stays as it was.
    bool openFile(const QString &target, const QString &title, QString *reason);
    // Ends the painter and puts the file at its target. keep, if given, is
    // asked once the painter has ended: false from it (with its reason)
    // discards the file, as does a PDF that could not be completed.
    bool finishFile(QString *reason, const std::function<bool(QString *)> &keep = {});
    // Begins drawing on the current page of a PDF owned elsewhere.
    void drawOn(QPainter *painter, QPdfWriter *writer);
    // Begins pages that are laid out but not drawn: the cursor and the page
    // count move as when drawing, and nothing is drawn (what a report would
    // print, listed at the cost of its layout only).
    void layOutOnly();
    void stopDrawing();

    QPainter *painter() const { return m_painter; }
    QPdfWriter *writer() const { return m_writer; }
    // Pages drawn since the drawing began, the current one included.
    int pagesDrawn() const { return m_pagesDrawn; }

    // The top of the next line's box, in device units; drawing code lays
    // out rows from it and moves it.
    int &cursor() { return m_y; }
    // Made anew on the drawing thread whenever drawing begins.
    const QFont &headingFont() const { return m_headingFont; }
    const QFont &bodyFont() const { return m_bodyFont; }

    // The cursor one line down; past the bottom limit, the top of a new page.
    void nextLine();
    // A new page unless a block of blockHeight still fits below the cursor.
    void ensureSpace(int blockHeight);
    void startNewPage();
    // Every page after the first begins here: it is counted.
    void openNextPage();
    // The row below row; a row that would pass the limit goes to a new page.
    int nextRow(int row);

    // The logo, "Ordano Protokoll vom:" with date beside it and the source
    // path below; leaves the cursor at the first heading's row.
    void drawTitleBlock(const QString &date, const QString &source);
    // The same block with title beside the logo (its lines wrapped in the
    // box) and note below it in the path's font.
    void drawTitle(const QString &title, const QString &note);
    void drawHeading(const QString &text, int width = Layout::FullWidth,
                     int height = Layout::BoxHeight);
    void drawLeft(int row, const QString &text);
    void drawRight(int row, const QString &text);
    void drawBox(int x, int row, int width, const QString &text);
    // nextLine(), then the row's left and (if given) right text at the new cursor.
    void drawRow(const QString &left, const QString &right = QString());
    // The bar in the left margin that marks the line at row as changed.
    void drawMarginMark(int row);
    // text in lines of at most width in the current font, broken between
    // words where it can, anywhere where it must; at most maxLines, the
    // last one shortened with "…" when text goes on.
    QStringList wrappedLines(const QString &text, int width, int maxLines) const;

    // Text as the pages draw it: on archival pages a character that no
    // installed font has becomes U+FFFD.
    QString shown(const QString &text) const;

private:
    Q_DISABLE_COPY(PageWriter)

    void beginPages(QPainter *painter, QPdfWriter *writer);
    QString visiblePart(const QString &text, const QSize &box) const;
    void closeFile();

    bool m_archival = false;
    // A file of its own; declared so that the painter ends before the
    // writer goes, and the writer before the file is dropped.
    std::unique_ptr<ReportFile> m_file;
    QString m_target;
    std::unique_ptr<QPdfWriter> m_ownWriter;
    std::unique_ptr<QPainter> m_ownPainter;
    QPainter *m_painter = nullptr;
    QPdfWriter *m_writer = nullptr;

    int m_y = Layout::TopY;
    int m_pagesDrawn = 0;
    QFont m_headingFont;
    QFont m_bodyFont;
};
