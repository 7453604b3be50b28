#pragma once

#include <QtGlobal>

// The report's logo as the build lays it on white (img/make_opaque_logo):
// this header, then height rows of width RGB32 pixels (0xffRRGGBB in the
// byte order of the machine that builds and runs it), ready to use without
// decoding.
constexpr int OpaqueLogoPixelBytes = 4;

struct OpaqueLogoHeader
{
    quint32 width = 0;
    quint32 height = 0;
};

// The resolution the logo's JPEG states: 100 dpi, what the converter's
// reports have always carried. Fixed, so the JPEG made at build time is the
// one Qt would make in any program, whatever its screen.
constexpr int OpaqueLogoDotsPerMeter = 3937;

// The quality at which Qt's PDF writer encodes every picture as a JPEG; the
// build encodes the logo once at the same quality (img/make_opaque_logo).
constexpr int PdfJpegQuality = 94;
