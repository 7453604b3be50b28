#pragma once

#include <QString>

// File names are bytes on Linux; not every name an old share or archive
// leaves behind is UTF-8 ("Pr\xfcfstand.json" from a Latin-1 system).
namespace FileNames {

// Makes Qt 5 decode every byte that is not UTF-8 to a character of its own
// (U+DC80 to U+DCFF) and encode it back to the same byte, so such a file is
// listed, opened and its report named by the same bytes. Call first thing
// in main(), before the command line or a folder is read. Qt 6 decodes file
// names as UTF-8 only; there it does nothing.
void keepUndecodableNames();

// The name as a person reads it: a byte kept by keepUndecodableNames() is
// shown as its Latin-1 character.
QString forDisplay(const QString &path);

// True when path lost bytes in decoding (Qt 6, a name that is not UTF-8):
// no file can be opened under it.
bool lostInDecoding(const QString &path);

} // namespace FileNames
