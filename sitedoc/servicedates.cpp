#include "sitedoc/servicedates.h"

#include "report/vocabularies.h"

#include <QtMath>

#include <cmath>

namespace {

// Beyond this a date is no date any more.
constexpr double MaxDays = 1000.0 * 365;

bool wholeDays(const QVariant &value, qint64 *days)
{
    if (!value.isValid() || value.isNull())
        return false;
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    if (!ok || !qIsFinite(number) || std::floor(number) != number || qAbs(number) > MaxDays)
        return false;
    *days = qint64(number);
    return true;
}

} // namespace

QDate ServiceDates::due(const QVariant &last, const QVariant &days)
{
    qint64 interval = 0;
    if (!wholeDays(days, &interval))
        return {};
    const QDate from = QDate::fromString(datePart(last.toString()).trimmed(), Qt::ISODate);
    return from.isValid() ? from.addDays(interval) : QDate();
}

ServiceDates::Urgency ServiceDates::urgency(const QDate &date, const QDate &today)
{
    if (!date.isValid())
        return Urgency::Later;
    if (date < today)
        return Urgency::Overdue;
    return today.daysTo(date) <= DueWithinDays ? Urgency::Due : Urgency::Later;
}
