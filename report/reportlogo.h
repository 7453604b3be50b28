#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QImage;
QT_END_NAMESPACE

// The logo at the head of every report, as the build laid it on white
// (img/make_opaque_logo).
namespace ReportLogo {

// Its pixels, taken from the program's resources on first use.
const QImage &image();

// For a program that draws reports and reads no pictures (the converter):
// the JPEG the build made of the logo with Qt's own writer goes into every
// report as it is, instead of Qt's PDF writer encoding the same pixels again
// for each one; any other picture is still encoded by Qt's JPEG plugin.
// Qt asks every plugin it finds on disk before one compiled in, so from here
// on the program loads no plugin from disk: call it once the application
// object exists, before anything reads or writes a picture.
void useBuiltJpeg();

} // namespace ReportLogo
