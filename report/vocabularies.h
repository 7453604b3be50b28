#pragma once

#include <QString>

// The words a report prints for stored codes. Each function is total: every
// input gives a word (a unit may give an empty text).
QString unitText(int code);
QString producerText(int code);
QString colorText(int code);
QString yesNoText(const QString &text);
QString relaisStateText(const QString &text);
QString measureSystemText(int code);

// The part of a date-time text before its first capital "T": the date.
QString datePart(const QString &text);
