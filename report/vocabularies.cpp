#include "report/vocabularies.h"

#include <limits>

namespace {

// Unit words by code, from 1. Some are technical identifiers, printed as
// they stand; "Grad_C " really ends in a blank.
const char *const UnitWords[]
        = {"Grad_C ", "Grad_F", "Prozent", "g_m3", "kJ_kg", "BTU_lb", "ppm",
           "ppb",     "Pa",     "hPa",     "kPa",  "mbar",  "bar",    "inchWC",
           "m3_s",    "m3_h",   "cfm",     "klux", "lux",   "fc",     "grain_ft3"};
constexpr int UnitCount = int(sizeof(UnitWords) / sizeof(UnitWords[0]));
constexpr int UnitMaxCode = std::numeric_limits<int>::max(); // the device's end marker

const char *const ProducerWords[]
        = {"Rosenberg/Comefri/Gebhardt Nicotra", "Ziehl-Abegg/EBM-Papst", "Fläkt Woods"};
constexpr int ProducerCount = int(sizeof(ProducerWords) / sizeof(ProducerWords[0]));

enum ColorCode { Yellow = 2, Red = 3 };
constexpr int SiSystem = 1;

} // namespace

QString unitText(int code)
{
    if (code >= 1 && code <= UnitCount)
        return QString::fromUtf8(UnitWords[code - 1]);
    if (code == UnitMaxCode)
        return QStringLiteral("MAX2");
    return QString();
}

QString producerText(int code)
{
    if (code >= 0 && code < ProducerCount)
        return QString::fromUtf8(ProducerWords[code]);
    // "Unbekannst" kept on purpose: earlier configuration tools print it so.
    return QStringLiteral("Unbekannst: Id ") + QString::number(code, 10);
}

QString colorText(int code)
{
    switch (code) {
    case Yellow:
        return QStringLiteral("Gelb");
    case Red:
        return QStringLiteral("Rot");
    default:
        return QStringLiteral("Grün");
    }
}

QString yesNoText(const QString &text)
{
    return text == QLatin1String("false") ? QStringLiteral("Nein") : QStringLiteral("Ja");
}

QString relaisStateText(const QString &text)
{
    return text == QLatin1String("0") ? QStringLiteral("Geöffnet") : QStringLiteral("Geschlossen");
}

QString measureSystemText(int code)
{
    return code == SiSystem ? QStringLiteral("Si") : QStringLiteral("Imp");
}

QString datePart(const QString &text)
{
    const int t = text.indexOf(QLatin1Char('T'));
    return t < 0 ? text : text.left(t);
}
