#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QCoreApplication;
QT_END_NAMESPACE

// Puts Qt's own texts (file dialogs, message box buttons, a text field's
// menu) into German, whatever the system's language: the whole window is
// German. False when Qt's German translations are not installed.
bool installGermanQtTexts(QCoreApplication *app);

// Numbers and dates in German formats, whatever the system's locale: the
// default locale, for the whole program.
void useGermanFormats();
