#include "engine/configfields.h"
#include "engine/convert.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <initializer_list>

// The reader takes every value exactly as the file holds it: nothing is
// converted or validated here. A missing key, section or entry of another
// kind becomes an empty value at its position, so every record always has
// its full length and the report can address values by position.

namespace {

using Keys = std::initializer_list<const char *>;

const Keys GeneralKeys = {"name",    "date",          "location",  "altitude",
                          "voltage", "measureSystem", "boardType", "version"};
const Keys MeasureKeys
        = {"measure", "unit", "rangeLow", "rangeHigh", "value", "channel", "register"};
const Keys OutputKeys = {"channel", "range", "unit", "k_factor", "producer", "response"};
const Keys DisplayKeys
        = {"state", "brightness", "rotation", "tlfEnabled", "lcdCalibration", "sensors"};
const Keys DisplayValueKeys = {"1", "2", "3", "4", "5", "6"};
const Keys TlfKeys = {"enabled",     "lowThreshold", "highThreshold", "lowColor",
                      "middleColor", "highColor",    "lcdRotation"};
const Keys RelaisKeys = {"lowThreshold", "highThreshold", "states"};
const Keys ModbusKeys = {"offset", "transmissionRate", "address", "mode", "parity"};
const Keys ServiceKeys = {"lastService", "nextService", "lastCalibration", "nextCalibration"};

void take(ConfigRecord &record, const QJsonObject &object, Keys keys)
{
    for (const char *key : keys)
        record.append(object.value(QLatin1String(key)).toVariant());
}

// A measure object sits under "measure" and itself holds a key "measure".
void takeMeasure(ConfigRecord &record, const QJsonObject &owner)
{
    take(record, owner.value(QLatin1String("measure")).toObject(), MeasureKeys);
}

QJsonObject objectAt(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toObject();
}

QJsonArray arrayAt(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toArray();
}

// One record per array entry, also for an entry that is not an object.
void readEntries(QVector<ConfigRecord> &list, const QJsonArray &array, Keys keys, int fieldCount)
{
    list.clear();
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject entry = array.at(i).toObject();
        ConfigRecord record;
        record.reserve(fieldCount);
        take(record, entry, keys);
        takeMeasure(record, entry);
        list.append(record);
    }
}

QString keyIn(Keys keys, int position)
{
    return position < int(keys.size()) ? QLatin1String(keys.begin()[position]) : QString();
}

// A key of the object nested under owner at position, from where it starts.
QString nestedKey(const char *owner, Keys keys, int position)
{
    return QLatin1String(owner) + QLatin1Char('.') + keyIn(keys, position);
}

} // namespace

QString Config::keyName(Section section, int position)
{
    switch (section) {
    case Section::General:
        return keyIn(GeneralKeys, position);
    case Section::Output:
        return position < Output::MeasureStart
                       ? keyIn(OutputKeys, position)
                       : nestedKey("measure", MeasureKeys, position - Output::MeasureStart);
    case Section::Display:
        return position < Display::Value1
                       ? keyIn(DisplayKeys, position)
                       : nestedKey("values", DisplayValueKeys, position - Display::Value1);
    case Section::Tlf:
        return position < Tlf::MeasureStart
                       ? keyIn(TlfKeys, position)
                       : nestedKey("measure", MeasureKeys, position - Tlf::MeasureStart);
    case Section::Relais:
        return position < Relais::MeasureStart
                       ? keyIn(RelaisKeys, position)
                       : nestedKey("measure", MeasureKeys, position - Relais::MeasureStart);
    case Section::Modbus:
        return keyIn(ModbusKeys, position);
    case Section::Service:
        return keyIn(ServiceKeys, position);
    }
    return QString();
}

static_assert(Config::General::FieldCount == 8, "general keys");
static_assert(Config::Output::MeasureStart == 6 && Config::Output::FieldCount == 13, "output keys");
static_assert(Config::Display::Value1 == 6 && Config::Display::FieldCount == 12, "display keys");
static_assert(Config::Tlf::MeasureStart == 7 && Config::Tlf::FieldCount == 14, "tlf keys");
static_assert(Config::Relais::MeasureStart == 3 && Config::Relais::FieldCount == 10, "relais keys");
static_assert(Config::Modbus::FieldCount == 5 && Config::Service::FieldCount == 4,
              "modbus and service keys");

void convert::readConfiguration(const QJsonObject &root)
{
    const QJsonObject configuration = objectAt(root, "configuration");

    general.clear();
    take(general, configuration, GeneralKeys);
    emit newPbarValue(GeneralRead);

    readOutputs(arrayAt(configuration, "outputs"));
    emit newPbarValue(OutputsRead);
    readDisplay(objectAt(configuration, "display"));
    emit newPbarValue(DisplayRead);
    readTlf(objectAt(configuration, "tlf"));
    emit newPbarValue(TlfRead);
    readRelais(arrayAt(configuration, "relais"));
    emit newPbarValue(RelaisRead);
    emit newPbarValue(OffsetsRead); // nothing to read: see ProgressStep
    readModbus(objectAt(configuration, "modbus"));
    emit newPbarValue(ModbusRead);
    readService(objectAt(configuration, "service"));
    emit newPbarValue(ServiceRead);
}

void convert::readOutputs(const QJsonArray &array)
{
    readEntries(outputs, array, OutputKeys, Config::Output::FieldCount);
}

void convert::readRelais(const QJsonArray &array)
{
    readEntries(relais, array, RelaisKeys, Config::Relais::FieldCount);
}

void convert::readDisplay(const QJsonObject &object)
{
    display.clear();
    take(display, object, DisplayKeys);
    take(display, objectAt(object, "values"), DisplayValueKeys);
}

void convert::readTlf(const QJsonObject &object)
{
    tlf.clear();
    take(tlf, object, TlfKeys);
    takeMeasure(tlf, object);
}

void convert::readModbus(const QJsonObject &object)
{
    modbus.clear();
    take(modbus, object, ModbusKeys);
}

void convert::readService(const QJsonObject &object)
{
    service.clear();
    take(service, object, ServiceKeys);
}
