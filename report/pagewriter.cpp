#include "report/pagewriter.h"

#include "report/reportlogo.h"
#include "system/filenames.h"
#include "system/reportfile.h"
#include "system/systemerror.h"

#include <QColor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QResource>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cerrno>

using namespace Layout;

namespace {

constexpr int TextFlags = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int TitleFlags = TextFlags | Qt::TextWordWrap;
// No glyph of the report's fonts, not even a blank, is narrower than this
// part of the font's pixel size: what a box shows of a text ends within
// so many characters per line (visiblePart()).
constexpr int NarrowestGlyphDivisor = 8;
// Characters beyond the cut, read to find the end of the cluster it falls in.
constexpr int ClusterRoom = 32;

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

PageWriter::PageWriter() = default;

PageWriter::~PageWriter()
{
    closeFile();
}

void PageWriter::initialise()
{
    static const bool fontsRegistered = (registerReportFonts(), true);
    Q_UNUSED(fontsRegistered)
}

// A PDF writer, not a printer: a printer asks the system's print service for
// its default printer first, and a print server that never answers would
// hold every report.
void PageWriter::configurePage(QPdfWriter &pdf)
{
    pdf.setResolution(UnitsPerInch);
    // Explicit, so the layout's printable area holds whatever Qt's default
    // paper; Qt's default PDF margins stay.
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Portrait);
}

// Without shaping no ligatures are formed, so the PDF's text reads and
// searches as written ("Geöffnet", not "Geö\uFB00net").
QFont PageWriter::reportFont(int pixelSize, QFont::Weight weight)
{
    QFont font(reportFamily());
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

bool PageWriter::openFile(const QString &target, const QString &title, QString *reason)
{
    closeFile();
    m_file = std::make_unique<ReportFile>(target);
    if (!m_file->reserve(reason)) {
        closeFile();
        return false;
    }
    m_target = target;
    m_ownWriter = std::make_unique<QPdfWriter>(m_file->temporaryPath());
    configurePage(*m_ownWriter);
    if (m_archival)
        describeArchival(*m_ownWriter, title);
    m_ownPainter = std::make_unique<QPainter>();
    if (!m_ownPainter->begin(m_ownWriter.get())) {
        const int error = errno; // from the writer's failed open, if any
        closeFile();
        *reason = tr("Der Bericht %1 kann nicht geschrieben werden: die PDF-Ausgabe lässt sich "
                     "nicht öffnen (%2).")
                          .arg(target, systemErrorText(error));
        return false;
    }
    beginPages(m_ownPainter.get(), m_ownWriter.get());
    return true;
}

bool PageWriter::finishFile(QString *reason, const std::function<bool(QString *)> &keep)
{
    Q_ASSERT(m_ownPainter);
    const bool ended = m_ownPainter->end();
    stopDrawing();
    bool kept = !keep || keep(reason);
    if (kept && !ended) {
        *reason = tr("Der Bericht %1 konnte nicht abgeschlossen werden.").arg(m_target);
        kept = false;
    }
    kept = kept && m_file->commit(reason);
    closeFile();
    return kept;
}

// Also after a failure: the file that is not committed is discarded with it.
void PageWriter::closeFile()
{
    if (m_painter == m_ownPainter.get())
        stopDrawing();
    if (m_ownPainter && m_ownPainter->isActive())
        m_ownPainter->end();
    m_ownPainter.reset();
    m_ownWriter.reset();
    m_file.reset();
    m_target.clear();
}

void PageWriter::drawOn(QPainter *painter, QPdfWriter *writer)
{
    beginPages(painter, writer);
}

void PageWriter::layOutOnly()
{
    m_painter = nullptr;
    m_writer = nullptr;
    m_pagesDrawn = 1;
}

void PageWriter::stopDrawing()
{
    m_painter = nullptr;
    m_writer = nullptr;
}

// The fonts are made on the drawing thread, whose font cache resolves them.
void PageWriter::beginPages(QPainter *painter, QPdfWriter *writer)
{
    m_painter = painter;
    m_writer = writer;
    m_pagesDrawn = 1;
    m_bodyFont = reportFont(BodyPixelSize);
    m_headingFont = reportFont(HeadingPixelSize, QFont::Bold);
    m_painter->setFont(m_bodyFont);
}

void PageWriter::describeArchival(QPdfWriter &pdf, const QString &title)
{
    pdf.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    // Qt writes both into the document information and the XMP metadata.
    pdf.setTitle(title);
    pdf.setCreator(QCoreApplication::applicationName() + QLatin1Char(' ')
                   + QCoreApplication::applicationVersion());
}

// Qt draws a font's missing-glyph box for a character that no installed
// font has, and PDF/A refuses any use of that glyph.
QString PageWriter::shown(const QString &text) const
{
    if (!m_archival)
        return text;
    const QFontMetrics metrics(m_painter->font());
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

void PageWriter::drawTitleBlock(const QString &date, const QString &source)
{
    drawTitle(tr("Ordano Protokoll vom:\n") + date, FileNames::forDisplay(source));
}

void PageWriter::drawTitle(const QString &title, const QString &note)
{
    const QImage &logo = ReportLogo::image();
    const QSize logoSize = logo.size() * LogoScale;
    m_y = TopY;
    if (m_painter) {
        m_painter->drawImage(QRect(QPoint(LeftX, TopY), logoSize), logo);
        const int titleX = RightEdge - logoSize.width();
        m_painter->drawText(QRect(QPoint(titleX, m_y), logoSize), TitleFlags,
                            shown(visiblePart(title, logoSize)));
        m_painter->setFont(reportFont(PathPixelSize));
        m_painter->drawText(QRect(QPoint(titleX, PathY), logoSize), TitleFlags,
                            shown(visiblePart(note, logoSize)));
    }
    m_y += logoSize.height() + TitleGap;
}

void PageWriter::nextLine()
{
    if (m_y + LinePitch > BottomLimit) {
        startNewPage();
    } else {
        m_y += LinePitch;
    }
}

void PageWriter::ensureSpace(int blockHeight)
{
    if (m_y + blockHeight >= BottomLimit)
        startNewPage();
}

void PageWriter::startNewPage()
{
    openNextPage();
    m_y = TopY;
}

void PageWriter::openNextPage()
{
    if (m_writer)
        m_writer->newPage();
    ++m_pagesDrawn;
}

void PageWriter::drawHeading(const QString &text, int width, int height)
{
    if (!m_painter)
        return;
    m_painter->setFont(m_headingFont);
    m_painter->drawText(QRect(LeftX, m_y, width, height), TextFlags,
                        shown(visiblePart(text, QSize(width, height))));
    m_painter->setFont(m_bodyFont);
}

void PageWriter::drawLeft(int row, const QString &text)
{
    drawBox(LeftX, row, ColumnWidth, text);
}

void PageWriter::drawRight(int row, const QString &text)
{
    drawBox(RightX, row, ColumnWidth, text);
}

void PageWriter::drawRow(const QString &left, const QString &right)
{
    nextLine();
    drawLeft(m_y, left);
    if (!right.isNull())
        drawRight(m_y, right);
}

int PageWriter::nextRow(int row)
{
    if (row + LinePitch > BottomLimit) {
        openNextPage();
        return TopY;
    }
    return row + LinePitch;
}

void PageWriter::drawBox(int x, int row, int width, const QString &text)
{
    if (!m_painter)
        return;
    m_painter->drawText(QRect(x, row, width, BoxHeight), TextFlags,
                        shown(visiblePart(text, QSize(width, BoxHeight))));
}

void PageWriter::drawMarginMark(int row)
{
    if (m_painter)
        m_painter->fillRect(QRect(ChangeMarkX, row, ChangeMarkWidth, BoxHeight),
                            QColor(QRgb(ChangeMarkRgb)));
}

QStringList PageWriter::wrappedLines(const QString &text, int width, int maxLines) const
{
    const QString part = visiblePart(text, QSize(width, maxLines * BoxHeight));
    QTextLayout layout(part, m_painter->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            const QFontMetrics metrics(m_painter->font());
            lines.append(metrics.elidedText(part.mid(line.textStart()), Qt::ElideRight, width));
            break;
        }
        QString shownLine = part.mid(line.textStart(), line.textLength());
        while (!shownLine.isEmpty() && shownLine.back().isSpace())
            shownLine.chop(1); // the blank the line was broken at
        lines.append(shownLine);
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

// A value of megabytes would otherwise be laid out whole, at some forty
// bytes a character, to show a few dozen of them: the text is cut, at a
// character boundary, past what the box can show with the current font in
// as many lines as fit (the rest would be clipped anyway).
QString PageWriter::visiblePart(const QString &text, const QSize &box) const
{
    const int pixelSize = qMax(1, m_painter->font().pixelSize());
    const int lines = box.height() / pixelSize + 1;
    const int limit = lines * (box.width() * NarrowestGlyphDivisor / pixelSize + 1);
    if (text.size() <= limit)
        return text;
    QString part = text.left(limit + ClusterRoom);
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, part);
    characters.setPosition(limit);
    if (!characters.isAtBoundary())
        characters.toPreviousBoundary();
    part.truncate(qMax(0, characters.position()));
    return part;
}
