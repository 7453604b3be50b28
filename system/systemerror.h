#pragma once

#include <QString>

// What the system's error number error means, in the user's language and
// true to its cause ("zu viele offene Dateien" is not "Datenträger voll").
QString systemErrorText(int error);
