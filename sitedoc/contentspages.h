#pragma once

#include "report/pagewriter.h"
#include "report/reportvolume.h"

#include <QCoreApplication>
#include <QDate>
#include <QRectF>
#include <QString>
#include <QVector>

// A device whose report a combined document holds.
struct ContentsDevice
{
    QString name; // the configuration's name, or the file's name without ".json"
    QString date; // the configuration's date, as stored
    // Instead of the date: what a document of changes says of it ("3
    // Änderungen", "neu", "entfernt").
    QString note;
    QString source; // the configuration file
    int pageCount = 0; // pages of its report
    QDate nextService; // when it is due, if known
    QDate nextCalibration;
};

// A file a combined document leaves out, and why.
struct ContentsOmission
{
    QString source;
    QString reason;
};

// A contents line as a link to the first page of its device's report, or
// to one of the pages before the reports (the dates).
struct ContentsLink
{
    int page = 0; // the contents page the line stands on, from 0
    QRectF area; // in PDF points, origin at the page's bottom left
    int device = 0; // index into the devices, or -1
    int frontPage = -1; // when device is -1: the page it leads to, from 0
};

// A piece of a report page's foot line, in place: the page after the
// contents that holds the piece, laid over the report page shifted right.
struct FooterPlacement
{
    int piece = 0; // from 0, among the pages after the contents
    double shift = 0; // in PDF points
};

// The first pages of a combined document, drawn with the report's page
// writer: the title block, "Inhalt" with a line for the dates and one per
// device with the page its report begins on, then the files left out ("Nicht
// enthalten"); then the dates ("Termine"): every device once with when it is
// next due for service and calibration, earliest first, the overdue and the
// soon due marked. Together they are the front pages. After them follow the
// pieces of the report pages' foot lines "Seite n von N",
// one to a page at the line's left end: the words around the numbers and
// each digit. Every report page's foot line is laid together from them
// (footerOf()), so that the contents need not draw a page per report page.
class ContentsPages
{
    Q_DECLARE_TR_FUNCTIONS(ContentsPages)

public:
    ContentsPages(const QString &title, const QVector<ContentsDevice> &devices,
                  const QVector<ContentsOmission> &omissions);

    // Archival pages. Off unless set before draw().
    void setArchival(bool archival) { m_page.setArchival(archival); }
    // The day the dates are judged by (by default the day it is made).
    void setToday(const QDate &today) { m_today = today; }
    // The title an archival document carries.
    QString documentTitle() const;
    // Draws the pages into volume, from its first page on; the volume is
    // its owner's to close. False, with the reason, when it cannot be begun.
    bool draw(ReportVolume &volume, QString *reason);

    // Valid once draw() has drawn the pages.
    int contentsPageCount() const { return m_contentsPages; }
    // The contents and the dates; the first of the dates follows the contents.
    int frontPageCount() const { return m_contentsPages + m_datesPages; }
    int datesPageIndex() const { return m_contentsPages; }
    const QVector<ContentsLink> &links() const { return m_links; }
    // The page, from 1, on which the device's report begins.
    int firstPage(int device) const;
    int totalPageCount() const;
    // The pieces of the foot line of page (from 1), centred as the contents
    // pages' own foot lines are. Valid once draw() has drawn them.
    QVector<FooterPlacement> footerOf(int page) const;
    int footerPieceCount() const { return int(m_footerPieces.size()); }

    // The line a device has in the contents and the document's outline.
    static QString deviceTitle(const ContentsDevice &device);

private:
    // A block of rows kept together on one page: a device's line, the
    // heading of the files left out, or one such file with its reason.
    struct Entry
    {
        bool dates = false; // the line of the dates
        int device = -1; // or -1
        int omission = -1; // or -1
        QStringList reasonLines;
        int rows = 1;
        int gapRows = 0; // empty rows before it
        bool keepWithNext = false; // a heading stays with the entry below it
        int page = 0; // where it stands, from 0
        int row = 0;
    };

    // Where a device's line of dates stands, from 0 among the dates pages.
    struct DateRow
    {
        int device = 0;
        int page = 0;
        int row = 0;
    };

    void drawContents();
    QVector<DateRow> placeDates();
    void drawDates(const QVector<DateRow> &rows);
    void drawDateTitles(int row);
    void drawDueDate(int x, int row, const QDate &date);
    QVector<Entry> entries() const;
    void placeEntries(QVector<Entry> *list);
    void drawEntry(const Entry &entry);
    void drawDeviceLine(int device, int row);
    void drawOmission(const Entry &entry);
    static QString footerText();
    void drawFooter();
    void drawFooterPieces();
    void turnPage();
    QString elided(const QString &text, Qt::TextElideMode mode, int width) const;
    QStringList wrapped(const QString &text, int width, int maxLines) const;
    QRectF pdfArea(const QRect &box) const;
    QPainter *painter() const { return m_page.painter(); }

    PageWriter m_page;
    QString m_title;
    QString m_date; // when the document was made
    QVector<ContentsDevice> m_devices;
    QVector<ContentsOmission> m_omissions;
    // Before each device's report, the report pages of the devices before
    // it; the last, after all of them.
    QVector<int> m_reportPagesBefore;
    QDate m_today = QDate::currentDate();
    int m_contentsPages = 1;
    int m_datesPages = 1;
    int m_pageIndex = 0; // the page being drawn, from 0
    QVector<ContentsLink> m_links;
    QStringList m_footerPieces; // the words, then the digits 0 to 9
    QVector<qreal> m_pieceAdvances; // in device units
    qreal m_pointsPerUnit = 0;
};
