#pragma once

#include <QByteArray>
#include <QString>

// A key that stands twice in one object of a JSON text. QJsonDocument keeps
// one of the values without saying which, so such a file is refused rather
// than reported from a guess.
struct DuplicateKey
{
    bool found = false;
    QString key; // decoded, as the reader would look it up
    int offset = 0; // byte offset of its second occurrence
};

// Scans a JSON text before it is parsed, in one pass and without recursion,
// whatever its nesting. Malformed text gives no finding: the parser then
// names what is wrong with it.
DuplicateKey findDuplicateKey(const QByteArray &json);
