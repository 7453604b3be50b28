#include "sitedoc/contentspages.h"

#include "report/documenttitle.h"
#include "sitedoc/servicedates.h"
#include "system/filenames.h"

#include <algorithm>
#include <numeric>

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

using namespace Layout;

namespace {

// Columns of a contents line, within the report's text area.
constexpr int NameWidth = 2900;
constexpr int DateX = LeftX + NameWidth + 100;
constexpr int DateWidth = 1900;
constexpr int PathX = DateX + DateWidth + 100;
constexpr int NumberWidth = 600;
constexpr int NumberX = RightEdge - NumberWidth;
constexpr int PathWidth = NumberX - 100 - PathX;
// A file left out: its name in the name column, the reason beside it.
constexpr int ReasonX = DateX;
constexpr int ReasonWidth = RightEdge - ReasonX;
constexpr int MaxReasonLines = 3;
constexpr int OmittedGapRows = 1;

// The foot line, below the lowest line a report can draw.
constexpr int FooterY = BottomLimit + BoxHeight + 100;

constexpr int NumberFlags = Qt::AlignRight | Qt::AlignVCenter;
constexpr int FooterFlags = Qt::AlignHCenter | Qt::AlignVCenter;
constexpr int FooterPieceFlags = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int FooterCentreX = LeftX + FullWidth / 2;
constexpr int Decimal = 10;
// Where the foot line's words stand among its pieces; the digits follow.
enum FooterWord { BeforePage, BeforeCount, AfterCount, FooterWords };
constexpr double PointsPerInch = 72.0;

// Columns of the dates: the device's name, then the next service and the
// next calibration, each a date with its mark beside it.
constexpr int DueNameWidth = 2900;
constexpr int ServiceX = LeftX + DueNameWidth + 100;
constexpr int CalibrationX = ServiceX + 3100;
constexpr int DueDateWidth = 1300;
constexpr int MarkGap = 50;
constexpr int MarkWidth = CalibrationX - ServiceX - DueDateWidth - MarkGap - 100;
// The report's red, as its progress bars and its logo have it.
constexpr QRgb OverdueColour = 0xE30613;

const QString DateFormat = QStringLiteral("dd.MM.yyyy HH:mm");
const QString DueDateFormat = QStringLiteral("dd.MM.yyyy");

// The earlier of the two dates a device is due, for the order of the dates.
QDate earliestDue(const ContentsDevice &device)
{
    if (!device.nextService.isValid())
        return device.nextCalibration;
    if (!device.nextCalibration.isValid())
        return device.nextService;
    return qMin(device.nextService, device.nextCalibration);
}

} // namespace

ContentsPages::ContentsPages(const QString &title, const QVector<ContentsDevice> &devices,
                             const QVector<ContentsOmission> &omissions)
    : m_title(title)
    , m_date(QDateTime::currentDateTime().toString(DateFormat))
    , m_devices(devices)
    , m_omissions(omissions)
{
    m_reportPagesBefore.reserve(m_devices.size() + 1);
    int pages = 0;
    for (const ContentsDevice &device : qAsConst(m_devices)) {
        m_reportPagesBefore.append(pages);
        pages += device.pageCount;
    }
    m_reportPagesBefore.append(pages);
}

// The title block shows the document's title where a report shows its
// source, and the day it was made; an archival document is named by it.
QString ContentsPages::documentTitle() const
{
    return DocumentTitle::fromNameOrFile(m_title, m_title);
}

bool ContentsPages::draw(ReportVolume &volume, QString *reason)
{
    if (!volume.beginReport(reason))
        return false;
    m_page.drawOn(volume.painter(), volume.writer());
    m_page.drawTitleBlock(m_date, m_title);
    drawContents();
    m_page.stopDrawing();
    volume.endReport(QString(), m_page.pagesDrawn());
    return true;
}

// Made safe like a document title: a bookmark is a PDF string too, and a
// name may hold what no string of a PDF/A document may.
QString ContentsPages::deviceTitle(const ContentsDevice &device)
{
    const QString beside = device.note.isEmpty() ? device.date.trimmed() : device.note;
    return DocumentTitle::fromName(beside.isEmpty() ? device.name
                                                    : tr("%1 (%2)").arg(device.name, beside));
}

int ContentsPages::firstPage(int device) const
{
    return frontPageCount() + 1 + m_reportPagesBefore.at(device);
}

int ContentsPages::totalPageCount() const
{
    return firstPage(int(m_devices.size())) - 1;
}

void ContentsPages::drawContents()
{
    m_links.clear();
    m_pieceAdvances.clear();
    const QVector<DateRow> dateRows = placeDates();
    QVector<Entry> list = entries();
    placeEntries(&list);
    m_pageIndex = 0;
    drawFooter();
    m_page.drawHeading(tr("Inhalt"));
    for (const Entry &entry : qAsConst(list)) {
        while (m_pageIndex < entry.page)
            turnPage();
        drawEntry(entry);
    }
    drawDates(dateRows);
    drawFooterPieces();
}

// Split from the whole line's text, so that a translation of it still
// holds: its page number stands before the page count.
void ContentsPages::drawFooterPieces()
{
    const QString line = footerText();
    const int page = int(line.indexOf(QLatin1String("%1")));
    const int count = int(line.indexOf(QLatin1String("%2")));
    m_footerPieces = QStringList {line.left(page), line.mid(page + 2, count - page - 2),
                                  line.mid(count + 2)};
    for (int digit = 0; digit < Decimal; ++digit)
        m_footerPieces.append(QString::number(digit));

    const QFont font = PageWriter::reportFont(PathPixelSize);
    const QFontMetricsF metrics(font, painter()->device());
    m_pointsPerUnit = PointsPerInch / painter()->device()->logicalDpiX();
    painter()->setFont(font);
    for (const QString &piece : qAsConst(m_footerPieces)) {
        m_page.startNewPage();
        m_pieceAdvances.append(metrics.horizontalAdvance(piece));
        painter()->drawText(QRect(LeftX, FooterY, FullWidth, BoxHeight), FooterPieceFlags, piece);
    }
    painter()->setFont(m_page.bodyFont());
}

QVector<FooterPlacement> ContentsPages::footerOf(int page) const
{
    QVector<int> pieces {BeforePage};
    const auto appendDigits = [&pieces](int number) {
        for (const QChar digit : QString::number(number))
            pieces.append(FooterWords + digit.digitValue());
    };
    appendDigits(page);
    pieces.append(BeforeCount);
    appendDigits(totalPageCount());
    pieces.append(AfterCount);

    qreal width = 0;
    for (const int piece : qAsConst(pieces))
        width += m_pieceAdvances.value(piece);
    qreal x = FooterCentreX - width / 2;
    QVector<FooterPlacement> placements;
    for (const int piece : qAsConst(pieces)) {
        if (!m_footerPieces.value(piece).isEmpty())
            placements.append({piece, (x - LeftX) * m_pointsPerUnit});
        x += m_pieceAdvances.value(piece);
    }
    return placements;
}

QVector<ContentsPages::Entry> ContentsPages::entries() const
{
    QVector<Entry> list;
    Entry dates;
    dates.dates = true;
    list.append(dates);
    for (int i = 0; i < m_devices.size(); ++i) {
        Entry entry;
        entry.device = i;
        list.append(entry);
    }
    if (m_omissions.isEmpty())
        return list;
    Entry heading;
    heading.gapRows = OmittedGapRows;
    heading.keepWithNext = true;
    list.append(heading);
    painter()->setFont(PageWriter::reportFont(PathPixelSize));
    for (int i = 0; i < m_omissions.size(); ++i) {
        Entry entry;
        entry.omission = i;
        entry.reasonLines = wrapped(m_omissions.at(i).reason, ReasonWidth, MaxReasonLines);
        entry.rows = qMax(1, int(entry.reasonLines.size()));
        list.append(entry);
    }
    painter()->setFont(m_page.bodyFont());
    return list;
}

// Each entry below the one before it; an entry that would pass the
// report's page-break limit begins the next page.
void ContentsPages::placeEntries(QVector<Entry> *list)
{
    int page = 0;
    int row = m_page.cursor(); // the heading's row
    for (int i = 0; i < list->size(); ++i) {
        Entry &entry = (*list)[i];
        const int keptRows
                = entry.rows
                  + (entry.keepWithNext && i + 1 < list->size() ? list->at(i + 1).rows : 0);
        row += (1 + entry.gapRows) * LinePitch;
        if (row + (keptRows - 1) * LinePitch > BottomLimit) {
            ++page;
            row = TopY;
        }
        entry.page = page;
        entry.row = row;
        row += (entry.rows - 1) * LinePitch;
    }
    m_contentsPages = page + 1;
}

void ContentsPages::drawEntry(const Entry &entry)
{
    if (entry.dates) {
        m_page.drawBox(LeftX, entry.row, NameWidth, tr("Termine"));
        painter()->drawText(QRect(NumberX, entry.row, NumberWidth, BoxHeight), NumberFlags,
                            QString::number(datesPageIndex() + 1));
        m_links.append({m_pageIndex, pdfArea(QRect(LeftX, entry.row, FullWidth, BoxHeight)), -1,
                        datesPageIndex()});
    } else if (entry.device >= 0) {
        drawDeviceLine(entry.device, entry.row);
    } else if (entry.omission >= 0) {
        drawOmission(entry);
    } else {
        m_page.cursor() = entry.row;
        m_page.drawHeading(tr("Nicht enthalten"));
    }
}

void ContentsPages::drawDeviceLine(int device, int row)
{
    const ContentsDevice &line = m_devices.at(device);
    m_page.drawBox(LeftX, row, NameWidth, elided(line.name, Qt::ElideRight, NameWidth));
    m_page.drawBox(DateX, row, DateWidth,
                   elided(line.note.isEmpty() ? line.date : line.note, Qt::ElideRight, DateWidth));
    painter()->drawText(QRect(NumberX, row, NumberWidth, BoxHeight), NumberFlags,
                        QString::number(firstPage(device)));
    painter()->setFont(PageWriter::reportFont(PathPixelSize));
    m_page.drawBox(PathX, row, PathWidth,
                   elided(FileNames::forDisplay(line.source), Qt::ElideLeft, PathWidth));
    painter()->setFont(m_page.bodyFont());
    m_links.append({m_pageIndex, pdfArea(QRect(LeftX, row, FullWidth, BoxHeight)), device});
}

// Earliest first, by the earlier of a device's two dates; a device with
// neither stands last. The heading and the column titles open the first
// page, the titles every further one.
QVector<ContentsPages::DateRow> ContentsPages::placeDates()
{
    QVector<int> order(m_devices.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const QDate first = earliestDue(m_devices.at(a));
        const QDate second = earliestDue(m_devices.at(b));
        return first.isValid() && (!second.isValid() || first < second);
    });
    QVector<DateRow> rows;
    int page = 0;
    int row = TopY + 2 * LinePitch;
    for (const int device : qAsConst(order)) {
        if (row > BottomLimit) {
            ++page;
            row = TopY + LinePitch;
        }
        rows.append({device, page, row});
        row += LinePitch;
    }
    m_datesPages = page + 1;
    return rows;
}

void ContentsPages::drawDates(const QVector<DateRow> &rows)
{
    const int datesStart = m_pageIndex + 1;
    turnPage();
    m_page.cursor() = TopY;
    m_page.drawHeading(tr("Termine"));
    drawDateTitles(TopY + LinePitch);
    for (const DateRow &line : rows) {
        while (m_pageIndex < datesStart + line.page) {
            turnPage();
            drawDateTitles(TopY);
        }
        const ContentsDevice &device = m_devices.at(line.device);
        m_page.drawBox(LeftX, line.row, DueNameWidth,
                       elided(device.name, Qt::ElideRight, DueNameWidth));
        drawDueDate(ServiceX, line.row, device.nextService);
        drawDueDate(CalibrationX, line.row, device.nextCalibration);
    }
}

void ContentsPages::drawDateTitles(int row)
{
    painter()->setFont(m_page.headingFont());
    m_page.drawBox(LeftX, row, DueNameWidth, tr("Gerät"));
    m_page.drawBox(ServiceX, row, CalibrationX - ServiceX, tr("Nächster Service"));
    m_page.drawBox(CalibrationX, row, RightEdge - CalibrationX, tr("Nächste Kalibrierung"));
    painter()->setFont(m_page.bodyFont());
}

// The date, or "–" when it is not known, and beside it "überfällig" (in the
// report's red) or "fällig".
void ContentsPages::drawDueDate(int x, int row, const QDate &date)
{
    m_page.drawBox(x, row, DueDateWidth,
                   date.isValid() ? date.toString(DueDateFormat) : QStringLiteral("\u2013"));
    switch (ServiceDates::urgency(date, m_today)) {
    case ServiceDates::Urgency::Overdue: {
        const QPen pen = painter()->pen();
        painter()->setPen(QColor(OverdueColour));
        m_page.drawBox(x + DueDateWidth + MarkGap, row, MarkWidth, tr("überfällig"));
        painter()->setPen(pen);
        break;
    }
    case ServiceDates::Urgency::Due:
        m_page.drawBox(x + DueDateWidth + MarkGap, row, MarkWidth, tr("fällig"));
        break;
    case ServiceDates::Urgency::Later:
        break;
    }
}

void ContentsPages::drawOmission(const Entry &entry)
{
    const ContentsOmission &omission = m_omissions.at(entry.omission);
    m_page.drawBox(LeftX, entry.row, NameWidth,
                   elided(FileNames::forDisplay(QFileInfo(omission.source).fileName()),
                          Qt::ElideRight, NameWidth));
    painter()->setFont(PageWriter::reportFont(PathPixelSize));
    int row = entry.row;
    for (const QString &line : entry.reasonLines) {
        m_page.drawBox(ReasonX, row, ReasonWidth, line);
        row += LinePitch;
    }
    painter()->setFont(m_page.bodyFont());
}

void ContentsPages::drawFooter()
{
    painter()->setFont(PageWriter::reportFont(PathPixelSize));
    painter()->drawText(QRect(LeftX, FooterY, FullWidth, BoxHeight), FooterFlags,
                        footerText().arg(m_pageIndex + 1).arg(totalPageCount()));
    painter()->setFont(m_page.bodyFont());
}

QString ContentsPages::footerText()
{
    return tr("Seite %1 von %2");
}

void ContentsPages::turnPage()
{
    m_page.startNewPage();
    ++m_pageIndex;
    drawFooter();
}

// On one line: a line break in a name or path is a blank, as in the
// document's title, and a name is cut to what a line can hold before it is
// measured. What does not fit ends (or, for a path, begins) with "…",
// between two characters.
QString ContentsPages::elided(const QString &text, Qt::TextElideMode mode, int width) const
{
    QString line;
    if (mode == Qt::ElideRight) {
        line = DocumentTitle::fromName(text);
    } else {
        line = text;
        for (QChar &c : line) {
            if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
    }
    return painter()->fontMetrics().elidedText(line, mode, width);
}

// text in lines of at most width, broken between words; what does not fit
// in maxLines ends the last line with "…".
QStringList ContentsPages::wrapped(const QString &text, int width, int maxLines) const
{
    const QFontMetrics metrics = painter()->fontMetrics();
    QStringList lines;
    QString line;
    const QStringList words = text.simplified().split(QLatin1Char(' '));
    for (int i = 0; i < words.size(); ++i) {
        const QString longer = line.isEmpty() ? words.at(i) : line + QLatin1Char(' ') + words.at(i);
        if (line.isEmpty() || metrics.horizontalAdvance(longer) <= width) {
            line = longer;
            continue;
        }
        if (lines.size() + 1 == maxLines) {
            line = longer + QLatin1Char(' ') + words.mid(i + 1).join(QLatin1Char(' '));
            break;
        }
        lines.append(line);
        line = words.at(i);
    }
    lines.append(metrics.elidedText(line, Qt::ElideRight, width));
    return lines;
}

// A box in device units as the PDF places it: in points from the page's
// bottom left.
QRectF ContentsPages::pdfArea(const QRect &box) const
{
    const QPageLayout layout = m_page.writer()->pageLayout();
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    const QRectF printable = layout.paintRect(QPageLayout::Point);
    const double scale = PointsPerInch / painter()->device()->logicalDpiY();
    const double left = printable.left() + box.left() * scale;
    const double top = paper.height() - (printable.top() + box.top() * scale);
    return {left, top - box.height() * scale, box.width() * scale, box.height() * scale};
}
