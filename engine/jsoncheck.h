#pragma once

#include <QByteArray>
#include <QJsonParseError>
#include <QString>

// What a strict reading of a JSON text (RFC 8259) found. QJsonDocument
// accepts some texts that are not JSON (a number "2.", a raw tab inside a
// string, the escape "\x") and keeps one value of a key that stands twice
// without saying which; the check runs first, so such a file is refused
// rather than reported from a guess.
struct JsonCheck
{
    enum Verdict {
        Valid, // JSON whose root is an object or an array
        NotJson, // the text breaks the grammar; reason says how
        ScalarRoot, // valid JSON, but a lone number, string, true, false or null
        DuplicateKey, // key stands twice in one object
        TooDeep, // nested deeper than the document can hold
        Unprocessable, // valid JSON beyond what the reader can represent; reason says what
        OtherEncoding, // UTF-16 or UTF-32 without a byte order mark; reason names it
    };

    Verdict verdict = Valid;
    QString reason; // for NotJson, Unprocessable and OtherEncoding, in the user's language
    QString key; // for DuplicateKey, decoded as the reader would look it up
    int offset = 0; // byte offset the finding concerns
};

// Objects and arrays nested deeper than this are refused: QJsonDocument
// cannot hold more.
constexpr int MaxJsonDepth = 1024;

// Windows editors save "Unicode" as UTF-16 (or UTF-32). With a byte order
// mark the encoding is certain and bytes are decoded to UTF-8 in place;
// without one it is only likely, and the file is refused by the encoding's
// name rather than as broken. UTF-8 is left as it is.
JsonCheck readAsUtf8(QByteArray *bytes);

// Checks bytes in one pass, without recursion whatever the nesting.
JsonCheck checkJson(const QByteArray &bytes);

// What Qt's reader found wrong with a text the check passed, in the check's
// words where both name the same fault.
QString parseErrorText(QJsonParseError::ParseError error);

// Line and column (both from 1, the column in characters) of a byte offset,
// for a reader who opens the file in an editor.
QString positionText(const QByteArray &bytes, int offset);
