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

// Iterative: no recursion whatever the nesting. Numbers as text: a number
// too large for a double is still read as what it is, valid JSON.
constexpr unsigned StrictFlags = rapidjson::kParseIterativeFlag
                                 | rapidjson::kParseValidateEncodingFlag
                                 | rapidjson::kParseNumbersAsStringsFlag;

QString text(const char *source)
{
    return QCoreApplication::translate("JsonCheck", source);
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
    bool Key(const char *name, rapidjson::SizeType length, bool /*copy*/)
    {
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

    // The reader stands right behind a key's closing quote; inside the key
    // every quote is escaped, so the first unescaped one before it opens it.
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

QString syntaxErrorText(rapidjson::ParseErrorCode code, unsigned char at)
{
    switch (code) {
    case rapidjson::kParseErrorDocumentEmpty:
        return text("das Dokument ist leer");
    case rapidjson::kParseErrorDocumentRootNotSingular:
        return text("nach dem Ende des Dokuments folgt weiterer Text");
    case rapidjson::kParseErrorValueInvalid:
        return text("ungültiger Wert");
    case rapidjson::kParseErrorObjectMissName:
        return text("ein Schlüssel in Anführungszeichen wurde erwartet");
    case rapidjson::kParseErrorObjectMissColon:
        return text("nach einem Schlüssel fehlt der Doppelpunkt");
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
        return text("in einem Objekt fehlt ein Komma oder die schließende Klammer");
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
        return text("in einer Liste fehlt ein Komma oder die schließende Klammer");
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
        return text("ungültige Escape-Sequenz \\u (vier Hexadezimalziffern erwartet)");
    case rapidjson::kParseErrorStringEscapeInvalid:
        // The reader says the same for a raw control character.
        if (at < FirstPrintable) {
            return text("ein Steuerzeichen (U+%1) steht ohne Escape-Sequenz in einer "
                        "Zeichenkette")
                    .arg(QString::number(at, 16).rightJustified(4, QLatin1Char('0')).toUpper());
        }
        return text("ungültige Escape-Sequenz");
    case rapidjson::kParseErrorStringMissQuotationMark:
        return text("eine Zeichenkette ist nicht abgeschlossen");
    case rapidjson::kParseErrorStringInvalidEncoding:
        return text("ungültiges UTF-8");
    case rapidjson::kParseErrorNumberMissFraction:
        return text("ungültige Zahl: nach dem Dezimalpunkt fehlt eine Ziffer");
    case rapidjson::kParseErrorNumberMissExponent:
        return text("ungültige Zahl: im Exponenten fehlt eine Ziffer");
    default:
        break;
    }
    return text("Syntaxfehler");
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
    return text("ein Surrogat in \\u-Schreibweise steht ohne seine zweite Hälfte");
}

} // namespace

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
