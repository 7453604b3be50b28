#pragma once

#include <QString>

QT_BEGIN_NAMESPACE
class QFileDialog;
class QWidget;
QT_END_NAMESPACE

// The dialog for choosing configuration files: Qt's own, filtering
// "Konfigurationen (*.json)" or "Alle Dateien (*)". It lists and returns
// names through the program's file-name codec, so that with Qt 5 a name
// that is not UTF-8 (kept byte for byte) is listed and opened as well, and
// shows sizes and dates in the default locale's formats. nameFilters, if
// given, replaces the two filters.
QFileDialog *makeOpenDialog(QWidget *parent, const QString &nameFilters = QString());
