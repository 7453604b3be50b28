#include "report/documenttitle.h"

#include "system/filenames.h"

#include <QFileInfo>
#include <QVector>

namespace {

constexpr char32_t Blank = U' ';
constexpr char32_t Ellipsis = U'\u2026';

// Control characters cannot stand in XML 1.0 (U+0000 to U+001F but tab and
// the line ends) or do not survive it (a CR is read back as a line feed, so
// the XMP title would no longer match the document information's); U+0085
// and the Unicode separators are line breaks too. U+FFFE, U+FFFF and lone
// surrogates are no characters at all.
bool needsBlank(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029
           || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF;
}

QString fromCharacters(const QVector<uint> &characters)
{
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()),
                             characters.size());
}

} // namespace

QString DocumentTitle::fromName(const QString &text)
{
    // Only the start matters: past the blanks it begins with, at most two
    // UTF-16 units a character (and one more for the trimming at its end).
    int start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    QVector<uint> characters = text.mid(start, 2 * MaxCharacters + 2).toUcs4();
    for (uint &c : characters) {
        if (needsBlank(c))
            c = Blank;
    }
    characters = fromCharacters(characters).trimmed().toUcs4();
    // Cut between characters, never inside a surrogate pair.
    if (characters.size() > MaxCharacters) {
        characters.resize(MaxCharacters - 1);
        characters.append(Ellipsis);
    }
    return fromCharacters(characters);
}

QString DocumentTitle::fromNameOrFile(const QString &name, const QString &path)
{
    QString title = fromName(name);
    if (!title.isEmpty())
        return title;
    return fromName(QFileInfo(FileNames::forDisplay(path)).completeBaseName());
}
