#include "system/filenames.h"

#include <QtGlobal>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

namespace {

constexpr ushort EscapeBase = 0xDC00; // U+DC80..U+DCFF stand for the bytes 0x80..0xFF
constexpr ushort FirstEscape = 0xDC80;
constexpr ushort LastEscape = 0xDCFF;
constexpr ushort ReplacementCharacter = 0xFFFD;

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)

constexpr uchar AsciiEnd = 0x80;
constexpr uint MaxCodePoint = 0x10FFFF;
constexpr uint SurrogateFirst = 0xD800;
constexpr uint SurrogateLast = 0xDFFF;

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at in (0 if there is none)
// and its code point.
int decodeSequence(const uchar *in, int available, uint *codePoint)
{
    const uchar lead = in[0];
    int length = 0;
    uint value = 0;
    uint minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(in[i]))
            return 0;
        value = (value << 6) | (in[i] & 0x3F);
    }
    if (value < minimum || value > MaxCodePoint
        || (value >= SurrogateFirst && value <= SurrogateLast))
        return 0;
    *codePoint = value;
    return length;
}

// UTF-8 that keeps every byte: what is not UTF-8 becomes U+DC80 + byte and
// is written back as that byte.
class ByteKeepingUtf8 : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("x-belmorand-utf-8-bytes"); }
    int mibEnum() const override { return MibEnum; }

protected:
    QString convertToUnicode(const char *in, int length, ConverterState * /*state*/) const override
    {
        QString out;
        out.reserve(length);
        const auto *bytes = reinterpret_cast<const uchar *>(in);
        for (int i = 0; i < length;) {
            uint codePoint = 0;
            if (bytes[i] < AsciiEnd) {
                out.append(QLatin1Char(char(bytes[i++])));
            } else if (const int used = decodeSequence(bytes + i, length - i, &codePoint)) {
                out.append(QString::fromUcs4(&codePoint, 1));
                i += used;
            } else {
                out.append(QChar(ushort(EscapeBase + bytes[i++])));
            }
        }
        return out;
    }

    QByteArray convertFromUnicode(const QChar *in, int length,
                                  ConverterState * /*state*/) const override
    {
        QByteArray out;
        out.reserve(length);
        int done = 0;
        for (int i = 0; i < length; ++i) {
            const ushort unit = in[i].unicode();
            if (unit < FirstEscape || unit > LastEscape || (i > 0 && in[i - 1].isHighSurrogate()))
                continue;
            out.append(QString(in + done, i - done).toUtf8());
            out.append(char(unit - EscapeBase));
            done = i + 1;
        }
        out.append(QString(in + done, length - done).toUtf8());
        return out;
    }

private:
    static constexpr int MibEnum = 3016; // private: no IANA number of this name
};

#endif

} // namespace

namespace FileNames {

void keepUndecodableNames()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Only where names are UTF-8 anyway: another locale keeps its codec.
    if (QTextCodec::codecForLocale()->mibEnum() != QTextCodec::codecForName("UTF-8")->mibEnum())
        return;
    // Qt keeps every codec it is given until the end: never deleted.
    static auto *const codec = new ByteKeepingUtf8;
    QTextCodec::setCodecForLocale(codec);
#endif
}

QString forDisplay(const QString &path)
{
    QString shown = path;
    for (QChar &c : shown) {
        if (c.unicode() >= FirstEscape && c.unicode() <= LastEscape)
            c = QChar(ushort(c.unicode() - EscapeBase));
    }
    return shown;
}

bool lostInDecoding(const QString &path)
{
    return path.contains(QChar(ReplacementCharacter));
}

} // namespace FileNames
