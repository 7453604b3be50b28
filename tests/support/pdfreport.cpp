#include "pdfreport.h"

#include "engine/convert.h"
#include "report/layout.h"

#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QRegularExpression>
#if QT_VERSION_MAJOR >= 6
#include <poppler-qt6.h>
#else
#include <poppler-qt5.h>
#endif

#include <algorithm>
#include <memory>

namespace {

constexpr double UnitsPerPoint = 1200.0 / 72.0;
constexpr double WordGap = 200; // wider gaps separate two columns of one row
constexpr double ColumnSlack = 30;

// Where the printable area starts on the page, in device units.
QPoint printableOrigin()
{
    QPdfWriter pdf(QStringLiteral("/dev/null/unused.pdf"));
    convert::configurePage(pdf);
    return pdf.pageLayout().paintRectPixels(pdf.resolution()).topLeft();
}

struct Word
{
    QString text;
    QRectF box; // device units
};

} // namespace

int PdfLine::boxY() const
{
    return centerY - Layout::BoxHeight / 2;
}

PdfReport::PdfReport(const QString &fileName)
    : m_fileName(fileName)
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(fileName));
    if (!document || document->isLocked())
        return;
    m_valid = true;
    m_pageCount = document->numPages();
    const QPoint origin = printableOrigin();
    for (int p = 0; p < m_pageCount; ++p) {
        std::unique_ptr<Poppler::Page> page(document->page(p));
        QVector<Word> words;
        // Poppler's Qt 5 binding hands the boxes over as raw pointers, the Qt 6
        // one as unique pointers.
        auto boxes = page->textList();
        for (const auto &box : boxes) {
            const QRectF r = box->boundingBox();
            words.append(
                    {box->text(),
                     QRectF(r.x() * UnitsPerPoint - origin.x(), r.y() * UnitsPerPoint - origin.y(),
                            r.width() * UnitsPerPoint, r.height() * UnitsPerPoint)});
        }
#if QT_VERSION_MAJOR < 6
        qDeleteAll(boxes);
#endif
        // Words of one line share their vertical centre; sort into rows, then
        // from left to right.
        std::stable_sort(words.begin(), words.end(), [](const Word &a, const Word &b) {
            const double ca = a.box.center().y(), cb = b.box.center().y();
            if (qAbs(ca - cb) > 40)
                return ca < cb;
            return a.box.x() < b.box.x();
        });
        PdfLine line;
        double lineRight = 0;
        for (const Word &word : words) {
            const bool sameRow
                    = !line.text.isEmpty() && qAbs(word.box.center().y() - line.centerY) <= 40;
            // A word at the right column's edge starts that column's text,
            // however close the left text came.
            const bool startsRightColumn = word.box.x() >= Layout::RightX - ColumnSlack
                                           && line.x < Layout::RightX - ColumnSlack;
            if (sameRow && !startsRightColumn && word.box.x() - lineRight < WordGap) {
                line.text += QLatin1Char(' ') + word.text;
            } else {
                if (!line.text.isEmpty())
                    m_lines.append(line);
                line = PdfLine();
                line.page = p;
                line.text = word.text;
                line.x = qRound(word.box.x());
                line.centerY = qRound(word.box.center().y());
            }
            lineRight = word.box.right();
        }
        if (!line.text.isEmpty())
            m_lines.append(line);
    }
}

int PdfReport::indexOf(const QString &prefix, int from) const
{
    for (int i = qMax(0, from); i < m_lines.size(); ++i) {
        if (m_lines.at(i).text.startsWith(prefix))
            return i;
    }
    return -1;
}

const PdfLine *PdfReport::find(const QString &prefix, int from) const
{
    const int i = indexOf(prefix, from);
    return i < 0 ? nullptr : &m_lines.at(i);
}

QStringList PdfReport::texts() const
{
    QStringList result;
    for (const PdfLine &line : m_lines)
        result.append(line.text);
    return result;
}

QStringList PdfReport::pageTexts(int from, int to, bool foot) const
{
    QStringList texts;
    for (const PdfLine &line : m_lines) {
        const bool below = line.centerY > Layout::BottomLimit + Layout::BoxHeight;
        if (line.page >= from && line.page < to && below == foot)
            texts << line.text;
    }
    return texts;
}

double PdfReport::inkIn(int page, int x, int y, int width, int height) const
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(m_fileName));
    if (!document || page >= document->numPages())
        return 0;
    std::unique_ptr<Poppler::Page> p(document->page(page));
    constexpr double Dpi = 72;
    const QImage image = p->renderToImage(Dpi, Dpi).convertToFormat(QImage::Format_RGB32);
    const QPoint origin = printableOrigin();
    const double scale = Dpi / 1200.0;
    const QRect box(qRound((x + origin.x()) * scale), qRound((y + origin.y()) * scale),
                    qRound(width * scale), qRound(height * scale));
    int ink = 0, all = 0;
    for (int row = box.top(); row <= box.bottom(); ++row) {
        for (int col = box.left(); col <= box.right(); ++col) {
            if (!image.rect().contains(col, row))
                continue;
            ++all;
            if (qGray(image.pixel(col, row)) < 240)
                ++ink;
        }
    }
    return all == 0 ? 0 : double(ink) / all;
}

QStringList PdfReport::fontNames() const
{
    std::unique_ptr<Poppler::Document> document(Poppler::Document::load(m_fileName));
    QStringList names;
    if (!document)
        return names;
    // A subset's name may carry a tag of six capitals and a plus sign.
    static const QRegularExpression subsetTag(QStringLiteral("^[A-Z]{6}\\+"));
    const auto fonts = document->fonts();
    for (const Poppler::FontInfo &font : fonts)
        names.append(font.name().remove(subsetTag));
    return names;
}

QSet<uint> PdfReport::mappedCharacters() const
{
    QFile file(m_fileName);
    QSet<uint> characters;
    if (!file.open(QIODevice::ReadOnly))
        return characters;
    // Qt writes the maps uncompressed, as ranges of glyphs followed by one
    // character or a list of them: "<0001> <0003> [<0041> <0020> <0062>]".
    static const QRegularExpression range(
            QStringLiteral("<[0-9A-F]{4}> <[0-9A-F]{4}> (\\[[^\\]]*\\]|<[0-9A-F]{4}>)"));
    static const QRegularExpression code(QStringLiteral("<([0-9A-F]{4})>"));
    const QByteArray pdf = file.readAll(); // binary: not up to the first zero byte
    QRegularExpressionMatchIterator ranges
            = range.globalMatch(QString::fromLatin1(pdf.constData(), pdf.size()));
    while (ranges.hasNext()) {
        QRegularExpressionMatchIterator codes = code.globalMatch(ranges.next().captured(1));
        while (codes.hasNext())
            characters.insert(codes.next().captured(1).toUInt(nullptr, 16));
    }
    return characters;
}
