#include "engine/configfields.h"
#include "engine/convert.h"
#include "report/documenttitle.h"
#include "report/reportlogo.h"
#include "report/reportvolume.h"
#include "system/filenames.h"
#include "system/reportfile.h"
#include "system/systemerror.h"
#include "system/threadhandoff.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QResource>

#include <cerrno>

using namespace Layout;

namespace {

constexpr int TextFlags = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int TitleFlags = TextFlags | Qt::TextWordWrap;

// The report's own font, compiled in (fonts/make_fonts.py makes it), so that
// a report looks the same on every machine. Characters it lacks, such as
// those of other scripts, come from the system's fonts.
QString reportFamily()
{
    return QStringLiteral("Belmorand Report Sans");
}

// Compiled in uncompressed (fonts/CMakeLists.txt): the font database reads
// them where they lie, with no copy and nothing to inflate.
void registerReportFonts()
{
    for (const QString &file : {QStringLiteral(":/fonts/BelmorandReportSans.ttf"),
                                QStringLiteral(":/fonts/BelmorandReportSans-Bold.ttf")}) {
        if (QFontDatabase::addApplicationFontFromData(QResource(file).uncompressedData()) < 0)
            qWarning("Die Berichtsschrift %s lässt sich nicht laden; die Berichte nehmen eine "
                     "Schrift des Systems.",
                     qPrintable(file));
    }
}

} // namespace

void convert::initialise()
{
    static const bool fontsRegistered = (registerReportFonts(), true);
    Q_UNUSED(fontsRegistered)
    ReportFile::initialise();
    ThreadHandOff::watchEventQueue();
}

// A PDF writer, not a printer: a printer asks the system's print service for
// its default printer first, and a print server that never answers would
// hold every report.
void convert::configurePage(QPdfWriter &pdf)
{
    pdf.setResolution(UnitsPerInch);
    // Explicit, so the layout's printable area holds whatever Qt's default
    // paper; Qt's default PDF margins stay.
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Portrait);
}

void convert::describeArchival(QPdfWriter &pdf) const
{
    pdf.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    QString title = DocumentTitle::fromName(Config::textAt(general, Config::General::Name));
    if (title.isEmpty())
        title = DocumentTitle::fromName(
                QFileInfo(FileNames::forDisplay(jsonPath)).completeBaseName());
    // Qt writes both into the document information and the XMP metadata.
    pdf.setTitle(title);
    pdf.setCreator(QCoreApplication::applicationName() + QLatin1Char(' ')
                   + QCoreApplication::applicationVersion());
}

// Qt draws a font's missing-glyph box for a character that no installed
// font has, and PDF/A refuses any use of that glyph.
QString convert::shown(const QString &text) const
{
    if (!m_archival)
        return text;
    const QFontMetrics metrics(painter->font());
    QString result;
    result.reserve(text.size());
    for (const uint character : text.toUcs4()) {
        if (QChar::isSpace(character) || metrics.inFontUcs4(character)) {
            const char32_t one = character;
            result += QString::fromUcs4(&one, 1);
        } else {
            result += QChar::ReplacementCharacter;
        }
    }
    return result;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): by value, like run()
bool convert::writeReport(QString pdfPath, QString *reason)
{
    if (m_volume)
        return drawIntoVolume(pdfPath, reason);
    const QString target = outputFileName(pdfPath);
    ReportFile file(target);
    if (!file.reserve(reason))
        return false;

    QPdfWriter pdf(file.temporaryPath());
    configurePage(pdf);
    if (m_archival)
        describeArchival(pdf);
    QPainter pen;
    if (!pen.begin(&pdf)) {
        const int error = errno; // from the writer's failed open, if any
        *reason = tr("Der Bericht %1 kann nicht geschrieben werden: die PDF-Ausgabe lässt sich "
                     "nicht öffnen (%2).")
                          .arg(target, systemErrorText(error));
        return false;
    }
    painter = &pen;
    pdfWriter = &pdf;
    drawReport();
    const bool ended = pen.end();
    painter = nullptr;
    pdfWriter = nullptr;
    if (!checkNotStopped(target, reason))
        return false;
    if (!ended) {
        *reason = tr("Der Bericht %1 konnte nicht abgeschlossen werden.").arg(target);
        return false;
    }
    return file.commit(reason);
}

// The volume holds the report once it is closed; a report cut short by a
// stop stays in it unnamed.
bool convert::drawIntoVolume(const QString &pdfPath, QString *reason)
{
    if (!m_volume->beginReport(reason))
        return false;
    painter = m_volume->painter();
    pdfWriter = m_volume->writer();
    drawReport();
    painter = nullptr;
    pdfWriter = nullptr;
    const bool whole = checkNotStopped(outputFileName(pdfPath), reason);
    m_volume->endReport(whole ? pdfPath : QString(), m_pagesDrawn);
    return whole;
}

void convert::drawReport()
{
    m_pagesDrawn = 1;
    setUpFonts();
    drawTitleBlock();
    drawSections();
}

bool convert::checkNotStopped(const QString &target, QString *reason) const
{
    if (!stopRequested())
        return true;
    *reason = tr("Der Bericht %1 wurde nicht geschrieben: die Umwandlung wurde abgebrochen.")
                      .arg(target);
    return false;
}

// Without shaping no ligatures are formed, so the PDF's text reads and
// searches as written ("Geöffnet", not "Geö\uFB00net").
QFont convert::reportFont(int pixelSize, QFont::Weight weight)
{
    QFont font(reportFamily());
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void convert::setUpFonts()
{
    bodyFont = reportFont(BodyPixelSize);
    headingFont = reportFont(HeadingPixelSize, QFont::Bold);
    painter->setFont(bodyFont);
}

void convert::drawTitleBlock()
{
    const QImage &logo = ReportLogo::image();
    const QSize logoSize = logo.size() * LogoScale;
    painter->drawImage(QRect(QPoint(LeftX, TopY), logoSize), logo);

    y = TopY;
    const int titleX = RightEdge - logoSize.width();
    painter->drawText(
            QRect(QPoint(titleX, y), logoSize), TitleFlags,
            shown(tr("Ordano Protokoll vom:\n") + Config::textAt(general, Config::General::Date)));

    painter->setFont(reportFont(PathPixelSize));
    painter->drawText(QRect(QPoint(titleX, PathY), logoSize), TitleFlags,
                      shown(FileNames::forDisplay(jsonPath)));
    emit newPbarValue(TitleDrawn);

    y += logoSize.height() + TitleGap;
}

void convert::nextLine()
{
    if (y + LinePitch > BottomLimit) {
        startNewPage();
    } else {
        y += LinePitch;
    }
}

void convert::ensureSpace(int blockHeight)
{
    if (y + blockHeight >= BottomLimit)
        startNewPage();
}

void convert::startNewPage()
{
    openNextPage();
    y = TopY;
}

void convert::openNextPage()
{
    pdfWriter->newPage();
    ++m_pagesDrawn;
}

void convert::drawHeading(const QString &text, int width, int height)
{
    painter->setFont(headingFont);
    painter->drawText(QRect(LeftX, y, width, height), TextFlags, shown(text));
    painter->setFont(bodyFont);
}

void convert::drawLeft(int row, const QString &text)
{
    drawBox(LeftX, row, ColumnWidth, text);
}

void convert::drawRight(int row, const QString &text)
{
    drawBox(RightX, row, ColumnWidth, text);
}

void convert::drawRow(const QString &left, const QString &right)
{
    nextLine();
    drawLeft(y, left);
    if (!right.isNull())
        drawRight(y, right);
}

int convert::nextRow(int row)
{
    if (row + LinePitch > BottomLimit) {
        openNextPage();
        return TopY;
    }
    return row + LinePitch;
}

void convert::drawBox(int x, int row, int width, const QString &text)
{
    painter->drawText(QRect(x, row, width, BoxHeight), TextFlags, shown(text));
}
