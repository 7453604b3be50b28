#include "engine/jsoncheck.h"

#include <QCoreApplication>

#include <rapidjson/error/error.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");
constexpr unsigned FirstPrintable = 0x20;
// U+D800 to U+DFFF in UTF-8: 0xED, then 0xA0 to 0xBF.
constexpr uchar Utf8SurrogateLead = 0xED;
constexpr uchar Utf8SurrogateSecond = 0xA0;

// Iterative: no recursion whatever the nesting. Numbers as text: a number
// too large for a double is still read as what it is, valid JSON.
constexpr unsigned StrictFlags = rapidjson::kParseIterativeFlag
                                 | rapidjson::kParseValidateEncodingFlag
                                 | rapidjson::kParseNumbersAsStringsFlag;

QString text(const char *source)
{
    return QCoreApplication::translate("JsonCheck", source);
}

QString loneSurrogateText()
{
    return text("ein Surrogat in \\u-Schreibweise steht ohne seine zweite Hälfte");
}

// Follows the reader's events: nesting depth, the keys of every open object,
// and what the root is.
class StrictHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, StrictHandler>
{
public:
    explicit StrictHandler(const rapidjson::MemoryStream &stream)
        : m_stream(stream)
    { }

    bool Default()
    {
        if (m_depth == 0)
            m_scalarRoot = true;
        return true;
    }
    bool StartObject()
    {
        if (!enter())
            return false;
        if (m_openObjects == m_keys.size())
            m_keys.emplace_back();
        else
            m_keys[m_openObjects].clear();
        ++m_openObjects;
        return true;
    }
    bool String(const char *value, rapidjson::SizeType length, bool /*copy*/)
    {
        return holdsSurrogate(value, length) ? refuseLoneSurrogate() : Default();
    }
    bool Key(const char *name, rapidjson::SizeType length, bool /*copy*/)
    {
        if (holdsSurrogate(name, length))
            return refuseLoneSurrogate();
        if (m_keys[m_openObjects - 1].emplace(name, length).second)
            return true;
        m_finding.verdict = JsonCheck::DuplicateKey;
        m_finding.key = QString::fromUtf8(name, int(length));
        m_finding.offset = openingQuote();
        return false;
    }
    bool EndObject(rapidjson::SizeType /*members*/)
    {
        --m_openObjects;
        --m_depth;
        return true;
    }
    bool StartArray() { return enter(); }
    bool EndArray(rapidjson::SizeType /*elements*/)
    {
        --m_depth;
        return true;
    }

    bool scalarRoot() const { return m_scalarRoot; }
    // Set when the handler itself stopped the reading.
    const JsonCheck &finding() const { return m_finding; }

private:
    bool enter()
    {
        if (++m_depth <= MaxJsonDepth)
            return true;
        m_finding.verdict = JsonCheck::TooDeep;
        m_finding.offset = int(m_stream.Tell()) - 1;
        return false;
    }

    // The reader refuses a high surrogate escape without its low half, but
    // passes a lone low one on, encoded like a character. Raw UTF-8 is
    // validated, so such bytes can only come from an escape.
    static bool holdsSurrogate(const char *text, rapidjson::SizeType length)
    {
        for (rapidjson::SizeType i = 0; i + 1 < length; ++i) {
            if (uchar(text[i]) == Utf8SurrogateLead && uchar(text[i + 1]) >= Utf8SurrogateSecond)
                return true;
        }
        return false;
    }

    bool refuseLoneSurrogate()
    {
        m_finding.verdict = JsonCheck::Unprocessable;
        m_finding.reason = loneSurrogateText();
        m_finding.offset = loneLowSurrogate(openingQuote());
        return false;
    }

    // The offset of the first \uDC00 to \uDFFF escape in the string opened
    // at quote that does not follow a high surrogate escape.
    int loneLowSurrogate(int quote) const
    {
        const QByteArray raw(m_stream.begin_ + quote, int(m_stream.src_ - m_stream.begin_) - quote);
        bool afterHigh = false;
        for (int i = 1; i < raw.size(); ++i) {
            if (raw.at(i) != '\\')
                continue;
            const uint unit = raw.at(i + 1) == 'u' ? raw.mid(i + 2, 4).toUInt(nullptr, 16) : 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF && !afterHigh)
                return quote + i;
            afterHigh = unit >= 0xD800 && unit <= 0xDBFF;
            ++i; // past the escaped character
        }
        return quote;
    }

    // The reader stands right behind a string's closing quote; inside the
    // string every quote is escaped, so the first unescaped one before it
    // opens it.
    int openingQuote() const
    {
        const char *begin = m_stream.begin_;
        for (const char *p = m_stream.src_ - 2; p >= begin; --p) {
            if (*p != '"')
                continue;
            int backslashes = 0;
            for (const char *q = p - 1; q >= begin && *q == '\\'; --q)
                ++backslashes;
            if (backslashes % 2 == 0)
                return int(p - begin);
        }
        return int(m_stream.Tell());
    }

    const rapidjson::MemoryStream &m_stream;
    std::vector<std::unordered_set<std::string>> m_keys; // reused level by level
    size_t m_openObjects = 0;
    int m_depth = 0;
    bool m_scalarRoot = false;
    JsonCheck m_finding;
};

// Every fault either reader names, each worded once. Qt's reader runs only
// after the check has passed a text, so of its faults only what the check
// lets through can occur, but all are named.
struct FaultText
{
    rapidjson::ParseErrorCode strict; // kParseErrorNone: the check never names it
    QJsonParseError::ParseError qt; // NoError: Qt's reader never names it
    const char *text; // translated when looked up
};

const FaultText FaultTexts[] = {
        {rapidjson::kParseErrorDocumentEmpty, QJsonParseError::NoError, "das Dokument ist leer"},
        {rapidjson::kParseErrorDocumentRootNotSingular, QJsonParseError::GarbageAtEnd,
         "nach dem Ende des Dokuments folgt weiterer Text"},
        {rapidjson::kParseErrorValueInvalid, QJsonParseError::IllegalValue, "ungültiger Wert"},
        {rapidjson::kParseErrorObjectMissName, QJsonParseError::NoError,
         "ein Schlüssel in Anführungszeichen wurde erwartet"},
        {rapidjson::kParseErrorObjectMissColon, QJsonParseError::MissingNameSeparator,
         "nach einem Schlüssel fehlt der Doppelpunkt"},
        {rapidjson::kParseErrorObjectMissCommaOrCurlyBracket, QJsonParseError::NoError,
         "in einem Objekt fehlt ein Komma oder die schließende Klammer"},
        {rapidjson::kParseErrorArrayMissCommaOrSquareBracket, QJsonParseError::NoError,
         "in einer Liste fehlt ein Komma oder die schließende Klammer"},
        {rapidjson::kParseErrorStringUnicodeEscapeInvalidHex, QJsonParseError::NoError,
         "ungültige Escape-Sequenz \\u (vier Hexadezimalziffern erwartet)"},
        {rapidjson::kParseErrorStringEscapeInvalid, QJsonParseError::IllegalEscapeSequence,
         "ungültige Escape-Sequenz"},
        {rapidjson::kParseErrorStringMissQuotationMark, QJsonParseError::UnterminatedString,
         "eine Zeichenkette ist nicht abgeschlossen"},
        {rapidjson::kParseErrorStringInvalidEncoding, QJsonParseError::IllegalUTF8String,
         "ungültiges UTF-8"},
        {rapidjson::kParseErrorNumberMissFraction, QJsonParseError::NoError,
         "ungültige Zahl: nach dem Dezimalpunkt fehlt eine Ziffer"},
        {rapidjson::kParseErrorNumberMissExponent, QJsonParseError::NoError,
         "ungültige Zahl: im Exponenten fehlt eine Ziffer"},
        // The check reads any number as text; Qt's reader refuses one beyond a
        // double, which is valid JSON all the same.
        {rapidjson::kParseErrorNone, QJsonParseError::IllegalNumber,
         "eine Zahl liegt außerhalb des darstellbaren Bereichs"},
        {rapidjson::kParseErrorNone, QJsonParseError::UnterminatedObject,
         "ein Objekt ist nicht abgeschlossen"},
        {rapidjson::kParseErrorNone, QJsonParseError::UnterminatedArray,
         "eine Liste ist nicht abgeschlossen"},
        {rapidjson::kParseErrorNone, QJsonParseError::MissingValueSeparator,
         "zwischen zwei Werten fehlt das Komma"},
        {rapidjson::kParseErrorNone, QJsonParseError::TerminationByNumber,
         "der Text endet mitten in einer Zahl"},
        {rapidjson::kParseErrorNone, QJsonParseError::MissingObject, "ein Objekt wurde erwartet"},
        {rapidjson::kParseErrorNone, QJsonParseError::DeepNesting, "zu tief verschachtelt"},
        {rapidjson::kParseErrorNone, QJsonParseError::DocumentTooLarge, "das Dokument ist zu groß"},
};

// The text of code in the column of reader; code 0 is no fault of its.
template<typename Code>
QString faultText(Code FaultText::*reader, Code code, const char *otherwise)
{
    for (const FaultText &fault : FaultTexts) {
        if (code != Code {} && fault.*reader == code)
            return text(fault.text);
    }
    return text(otherwise);
}

QString syntaxErrorText(rapidjson::ParseErrorCode code, unsigned char at)
{
    // The reader says the same for a raw control character.
    if (code == rapidjson::kParseErrorStringEscapeInvalid && at < FirstPrintable) {
        return text("ein Steuerzeichen (U+%1) steht ohne Escape-Sequenz in einer "
                    "Zeichenkette")
                .arg(QString::number(at, 16).rightJustified(4, QLatin1Char('0')).toUpper());
    }
    return faultText(&FaultText::strict, code, "Syntaxfehler");
}

// Errors the reader reports for text that is valid JSON but cannot be
// represented; anything else breaks the grammar.
bool isUnprocessable(rapidjson::ParseErrorCode code)
{
    return code == rapidjson::kParseErrorNumberTooBig
           || code == rapidjson::kParseErrorStringUnicodeSurrogateInvalid;
}

QString unprocessableText(rapidjson::ParseErrorCode code)
{
    if (code == rapidjson::kParseErrorNumberTooBig)
        return text("eine Zahl ist zu groß, um verarbeitet zu werden");
    return loneSurrogateText();
}

// How a text in UTF-16 or UTF-32 is laid out in bytes.
struct WideUnicode
{
    const char *name = nullptr; // null for UTF-8
    int unitBytes = 1;
    bool bigEndian = false;
    int bomBytes = 0;
};

constexpr int Utf16Bytes = 2;
constexpr int Utf32Bytes = 4;
constexpr char32_t LastCodePoint = 0x10FFFF;

bool isSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool startsWith(const QByteArray &bytes, const char *prefix, int size)
{
    return bytes.startsWith(QByteArray::fromRawData(prefix, size));
}

// By the byte order mark or, without one, by where the NUL bytes of the
// first two characters stand: a JSON text begins with two ASCII characters.
WideUnicode detectWideUnicode(const QByteArray &bytes)
{
    if (startsWith(bytes, "\0\0\xFE\xFF", 4))
        return {"UTF-32", Utf32Bytes, true, Utf32Bytes};
    if (startsWith(bytes, "\xFF\xFE\0\0", 4))
        return {"UTF-32", Utf32Bytes, false, Utf32Bytes};
    if (startsWith(bytes, "\xFE\xFF", 2))
        return {"UTF-16", Utf16Bytes, true, Utf16Bytes};
    if (startsWith(bytes, "\xFF\xFE", 2))
        return {"UTF-16", Utf16Bytes, false, Utf16Bytes};
    if (bytes.size() < Utf32Bytes)
        return {};
    const bool zero[] = {bytes.at(0) == 0, bytes.at(1) == 0, bytes.at(2) == 0, bytes.at(3) == 0};
    if (zero[0] && zero[1] && zero[2] && !zero[3])
        return {"UTF-32", Utf32Bytes, true, 0};
    if (!zero[0] && zero[1] && zero[2] && zero[3])
        return {"UTF-32", Utf32Bytes, false, 0};
    if (zero[0] && !zero[1] && zero[2] && !zero[3])
        return {"UTF-16", Utf16Bytes, true, 0};
    if (!zero[0] && zero[1] && !zero[2] && zero[3])
        return {"UTF-16", Utf16Bytes, false, 0};
    return {};
}

char32_t unitAt(const QByteArray &bytes, int offset, const WideUnicode &layout)
{
    char32_t unit = 0;
    for (int k = 0; k < layout.unitBytes; ++k) {
        const int byte = layout.bigEndian ? k : layout.unitBytes - 1 - k;
        unit = (unit << 8) | uchar(bytes.at(offset + byte));
    }
    return unit;
}

// Decodes the code units after the byte order mark; stops at the first that
// is no character (a lone surrogate, a value beyond U+10FFFF, a unit cut
// off at the end) and says so.
bool decodeWide(const QByteArray &bytes, const WideUnicode &layout, std::u32string *text)
{
    const int step = layout.unitBytes;
    int at = layout.bomBytes;
    for (; at + step <= bytes.size(); at += step) {
        char32_t c = unitAt(bytes, at, layout);
        if (step == Utf16Bytes && isHighSurrogate(c) && at + 2 * step <= bytes.size()) {
            const char32_t low = unitAt(bytes, at + step, layout);
            if (isSurrogate(low) && !isHighSurrogate(low)) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                at += step;
            }
        }
        if (isSurrogate(c) || c > LastCodePoint)
            return false;
        text->push_back(c);
    }
    return at == bytes.size();
}

QString toQString(const std::u32string &text)
{
    return QString::fromUcs4(text.data(), int(text.size()));
}

} // namespace

JsonCheck readAsUtf8(QByteArray *bytes)
{
    JsonCheck check;
    const WideUnicode layout = detectWideUnicode(*bytes);
    if (!layout.name)
        return check;
    if (layout.bomBytes == 0) {
        check.verdict = JsonCheck::OtherEncoding;
        check.reason = QString::fromLatin1(layout.name);
        return check;
    }
    std::u32string decoded;
    const bool complete = decodeWide(*bytes, layout, &decoded);
    // What could be decoded stays, so the position of the fault is found
    // in it as in any UTF-8 text.
    *bytes = toQString(decoded).toUtf8();
    if (!complete) {
        check.verdict = JsonCheck::NotJson;
        check.reason = text("ungültiges %1").arg(QString::fromLatin1(layout.name));
        check.offset = bytes->size();
    }
    return check;
}

JsonCheck checkJson(const QByteArray &bytes)
{
    // The reader would take a raw NUL for the end of the text, and JSON has
    // no place for one.
    const char *nul
            = static_cast<const char *>(std::memchr(bytes.constData(), 0, size_t(bytes.size())));
    if (nul) {
        JsonCheck check;
        check.verdict = JsonCheck::NotJson;
        check.reason = text("ein Nullbyte");
        check.offset = int(nul - bytes.constData());
        return check;
    }
    // An editor's byte order mark is no content; QJsonDocument skips it too.
    const int start = bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
    rapidjson::MemoryStream stream(bytes.constData() + start, size_t(bytes.size() - start));
    StrictHandler handler(stream);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<StrictFlags>(stream, handler);

    JsonCheck check;
    if (result.Code() == rapidjson::kParseErrorTermination) {
        check = handler.finding();
        check.offset += start;
        return check;
    }
    if (result.IsError()) {
        check.offset = start + int(result.Offset());
        const unsigned char at = check.offset < bytes.size() ? uchar(bytes.at(check.offset)) : 0;
        check.verdict
                = isUnprocessable(result.Code()) ? JsonCheck::Unprocessable : JsonCheck::NotJson;
        check.reason = check.verdict == JsonCheck::Unprocessable
                               ? unprocessableText(result.Code())
                               : syntaxErrorText(result.Code(), at);
        return check;
    }
    if (handler.scalarRoot())
        check.verdict = JsonCheck::ScalarRoot;
    return check;
}

QString parseErrorText(QJsonParseError::ParseError error)
{
    return faultText(&FaultText::qt, error, "unbekannter Fehler");
}

QString positionText(const QByteArray &bytes, int offset)
{
    const int end = qBound(0, offset, bytes.size());
    int line = 1;
    int lineStart = 0;
    for (int i = 0; i < end; ++i) {
        if (bytes.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const int column = QString::fromUtf8(bytes.constData() + lineStart, end - lineStart).size() + 1;
    return QCoreApplication::translate("JsonCheck", "Zeile %1, Spalte %2").arg(line).arg(column);
}
