#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

// One record of the configuration document: the values of one section of the
// file, untyped and unconverted, addressed by the positions below.
using ConfigRecord = QVector<QVariant>;

// Positions of the values in the records of a configuration document. A
// record holds one value per key the reader knows, in reading order, so a
// value's position is its identity; the report addresses values only through
// these names.

// In a namespace of their own: X11's headers, which Qt 6 brings in with
// its GUI headers, declare a global "Display".
namespace Config {

// The records of a document, in the order the report shows them.
enum class Section { General, Output, Display, Tlf, Relais, Modbus, Service };

// The key path of the value at position in a record of section, as the
// file names it ("k_factor", "measure.value", "values.3").
QString keyName(Section section, int position);

namespace General {
enum Field {
    Name,
    Date,
    Location,
    Altitude,
    Voltage,
    MeasureSystem,
    BoardType,
    Version,
    FieldCount
};
}

namespace Display {
enum Field {
    State,
    Brightness,
    Rotation,
    TlfEnabled,
    LcdCalibration,
    Sensors,
    Value1,
    Value2,
    Value3,
    Value4,
    Value5,
    Value6,
    FieldCount
};
}

// The seven keys of a measure object, relative to where the object starts
// inside its record.
namespace Measure {
enum Field { Measure, Unit, RangeLow, RangeHigh, Value, Channel, Register, FieldCount };
}

namespace Tlf {
enum Field {
    Enabled,
    LowThreshold,
    HighThreshold,
    LowColor,
    MiddleColor,
    HighColor,
    LcdRotation,
    MeasureStart,
    MeasureName = MeasureStart + Measure::Measure,
    FieldCount = MeasureStart + Measure::FieldCount
};
}

namespace Modbus {
enum Field { Offset, TransmissionRate, Address, Mode, Parity, FieldCount };
}

namespace Service {
enum Field { LastService, NextService, LastCalibration, NextCalibration, FieldCount };
}

namespace Output {
enum Field {
    Channel,
    Range,
    Unit,
    KFactor,
    Producer,
    Response,
    MeasureStart,
    MeasureName = MeasureStart + Measure::Measure,
    MeasureUnit = MeasureStart + Measure::Unit,
    RangeLow = MeasureStart + Measure::RangeLow,
    RangeHigh = MeasureStart + Measure::RangeHigh,
    FieldCount = MeasureStart + Measure::FieldCount
};
}

namespace Relais {
enum Field {
    LowThreshold,
    HighThreshold,
    States,
    MeasureStart,
    MeasureName = MeasureStart + Measure::Measure,
    FieldCount = MeasureStart + Measure::FieldCount
};
}

// The value at position as text; empty when the record is shorter, as a
// record made by hand rather than by the reader may be.
inline QString textAt(const ConfigRecord &record, int position)
{
    return position < record.size() ? record.at(position).toString() : QString();
}

} // namespace Config
