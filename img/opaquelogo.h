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
