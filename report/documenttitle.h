#pragma once

#include <QString>

// The title an archival PDF carries in its document information and in its
// XMP metadata. Both must say the same, the XMP packet must be well-formed
// XML, and PDF/A-1 allows no string longer than 32 767 bytes; a
// configuration's name or a file's name may break all three.
namespace DocumentTitle {

// Titles are cut to this many characters, the last one an ellipsis.
constexpr int MaxCharacters = 500;

// text with every character XML 1.0 cannot hold and every line break
// replaced by a blank, trimmed, and cut to MaxCharacters.
QString fromName(const QString &text);

// The title of a document made from the file at path: its name's, or, when
// that leaves nothing, the file's name's without its extension.
QString fromNameOrFile(const QString &name, const QString &path);

} // namespace DocumentTitle
