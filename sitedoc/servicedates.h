#pragma once

#include <QDate>
#include <QVariant>

// When a device is next due for service or calibration: the last date its
// configuration holds plus the interval in days it holds.
namespace ServiceDates {

// A date this many days ahead, or nearer, is due.
constexpr int DueWithinDays = 30;

enum class Urgency { Later, Due, Overdue };

// The date part of last (a date-time text, "T" before the time) plus days;
// invalid when either is missing or unreadable, or days is no whole number.
QDate due(const QVariant &last, const QVariant &days);

// Overdue before today, due within DueWithinDays of it.
Urgency urgency(const QDate &date, const QDate &today);

} // namespace ServiceDates
