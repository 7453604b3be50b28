#pragma once

#include "engine/convert.h"

#include <QGuiApplication>

#include <cstdlib>

// Fonts need a GUI application; one for the whole fuzzing process.
inline void startApplication(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    convert::initialise();
}

// The task must end exactly once, with one of its two final signals.
inline void expectOneEnd(int finished, int aborted)
{
    if (finished + aborted != 1)
        std::abort();
}
