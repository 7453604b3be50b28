#include "engine/configfields.h"
#include "engine/convert.h"
#include "testfiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

class tst_Reader : public QObject
{
    Q_OBJECT

private slots:
    void recordLengths_data();
    void recordLengths();
    void values_data();
    void values();
    void progressOneToEight();
    void textAt_data();
    void textAt();
    void secondReadReplaces();
};

namespace {

QJsonObject rootOf(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// Which record of the document a row reads.
enum class Record { General, Display, Tlf, Modbus, Service, Outputs, Relais };

const ConfigRecord &recordOf(const convert &task, Record record, int index)
{
    static const ConfigRecord none;
    switch (record) {
    case Record::General:
        return task.general;
    case Record::Display:
        return task.display;
    case Record::Tlf:
        return task.tlf;
    case Record::Modbus:
        return task.modbus;
    case Record::Service:
        return task.service;
    case Record::Outputs:
        return index < task.outputs.size() ? task.outputs.at(index) : none;
    case Record::Relais:
        return index < task.relais.size() ? task.relais.at(index) : none;
    }
    return none;
}

} // namespace

Q_DECLARE_METATYPE(Record)

void tst_Reader::recordLengths_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("relais");

    QTest::newRow("empty object") << QByteArray("{}") << 0 << 0;
    QTest::newRow("root is an array") << QByteArray("[1, 2]") << 0 << 0;
    QTest::newRow("configuration in capitals")
            << QByteArray(R"({"CONFIGURATION": {"name": "x", "outputs": [{}]}})") << 0 << 0;
    QTest::newRow("sections of other kinds")
            << configuration(R"("display": 3, "tlf": [], "modbus": "x", "service": null)") << 0
            << 0;
    QTest::newRow("outputs given as object") << configuration(R"("outputs": {"a": {}})") << 0 << 0;
    QTest::newRow("non-object entries keep their place")
            << configuration(R"("outputs": [{}, 5, "x"], "relais": [null, {}])") << 3 << 2;
    QTest::newRow("offsets leave no trace")
            << configuration(R"("offsets": [1, 2, {"a": 3}], "relais": [])") << 0 << 0;
}

void tst_Reader::recordLengths()
{
    QFETCH(QByteArray, json);
    QFETCH(int, outputs);
    QFETCH(int, relais);

    convert task;
    task.readConfiguration(rootOf(json));

    QCOMPARE(task.general.size(), int(Config::General::FieldCount));
    QCOMPARE(task.display.size(), int(Config::Display::FieldCount));
    QCOMPARE(task.tlf.size(), int(Config::Tlf::FieldCount));
    QCOMPARE(task.modbus.size(), int(Config::Modbus::FieldCount));
    QCOMPARE(task.service.size(), int(Config::Service::FieldCount));
    QCOMPARE(task.outputs.size(), outputs);
    QCOMPARE(task.relais.size(), relais);
    for (const OutputConfig &output : qAsConst(task.outputs))
        QCOMPARE(output.size(), int(Config::Output::FieldCount));
    for (const RelaisConfig &entry : qAsConst(task.relais))
        QCOMPARE(entry.size(), int(Config::Relais::FieldCount));
}

void tst_Reader::values_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Record>("record");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("position");
    // The text the report prints for the value; a null string asks for an
    // empty (null) variant.
    QTest::addColumn<QString>("text");

    const QByteArray twoOutputs = configuration(R"("outputs": [
        {"channel": 0, "range": 1, "unit": 2, "k_factor": 92.3, "producer": 1, "response": 10,
         "measure": {"measure": "PRESSURE", "unit": 9, "rangeLow": 0, "rangeHigh": 1000,
                     "value": 4.5, "channel": 7, "register": 100}},
        {"k_factor": "48", "measure": {"measure": "VOLUMEFLOW"}}])");
    QTest::newRow("first k-factor at 3")
            << twoOutputs << Record::Outputs << 0 << int(Config::Output::KFactor) << "92.3";
    QTest::newRow("measure name at 6")
            << twoOutputs << Record::Outputs << 0 << int(Config::Output::MeasureName) << "PRESSURE";
    QTest::newRow("measure unit, not the output's")
            << twoOutputs << Record::Outputs << 0 << int(Config::Output::MeasureUnit) << "9";
    QTest::newRow("register last")
            << twoOutputs << Record::Outputs << 0 << int(Config::Output::FieldCount - 1) << "100";
    QTest::newRow("second output in order") << twoOutputs << Record::Outputs << 1
                                            << int(Config::Output::MeasureName) << "VOLUMEFLOW";
    QTest::newRow("text stays text")
            << twoOutputs << Record::Outputs << 1 << int(Config::Output::KFactor) << "48";

    const QByteArray noMeasure = configuration(R"("outputs": [{"channel": 3, "response": 5}])");
    QTest::newRow("output without measure: own keys")
            << noMeasure << Record::Outputs << 0 << int(Config::Output::Response) << "5";
    QTest::newRow("output without measure: empty name")
            << noMeasure << Record::Outputs << 0 << int(Config::Output::MeasureName) << QString();
    QTest::newRow("output without measure: empty register")
            << noMeasure << Record::Outputs << 0 << int(Config::Output::FieldCount - 1)
            << QString();

    const QByteArray numberEntry
            = configuration(R"("outputs": [{"k_factor": 1}, 2, {"k_factor": 3}])");
    QTest::newRow("entry that is a number is empty")
            << numberEntry << Record::Outputs << 1 << int(Config::Output::KFactor) << QString();
    QTest::newRow("entry after it keeps its values")
            << numberEntry << Record::Outputs << 2 << int(Config::Output::KFactor) << "3";

    const QByteArray displayArray
            = configuration(R"("display": {"state": true, "values": ["a", "b"]})");
    QTest::newRow("display values as array")
            << displayArray << Record::Display << 0 << int(Config::Display::Value1) << QString();
    QTest::newRow("display state")
            << displayArray << Record::Display << 0 << int(Config::Display::State) << "true";
    QTest::newRow("display values object")
            << configuration(R"("display": {"values": {"6": "CO2", "1": "T"}})") << Record::Display
            << 0 << int(Config::Display::Value6) << "CO2";

    QTest::newRow("null is empty") << configuration(R"("name": null)") << Record::General << 0
                                   << int(Config::General::Name) << QString();
    QTest::newRow("number 2.0 prints 2") << configuration(R"("altitude": 2.0)") << Record::General
                                         << 0 << int(Config::General::Altitude) << "2";
    QTest::newRow("text 2.0 stays") << configuration(R"("altitude": "2.0")") << Record::General << 0
                                    << int(Config::General::Altitude) << "2.0";
    QTest::newRow("21.5") << configuration(R"("voltage": 21.5)") << Record::General << 0
                          << int(Config::General::Voltage) << "21.5";
    QTest::newRow("1000") << configuration(R"("voltage": 1000)") << Record::General << 0
                          << int(Config::General::Voltage) << "1000";
    QTest::newRow("1e3 prints 1000") << configuration(R"("voltage": 1e3)") << Record::General << 0
                                     << int(Config::General::Voltage) << "1000";
    QTest::newRow("extra keys do not shift")
            << configuration(R"("zzz": 1, "version": "1.7.3", "aaa": 2)") << Record::General << 0
            << int(Config::General::Version) << "1.7.3";
    QTest::newRow("umlauts") << configuration(R"("location": "Köln-Mülheim")") << Record::General
                             << 0 << int(Config::General::Location)
                             << QStringLiteral("Köln-Mülheim");

    QTest::newRow("tlf measure name")
            << configuration(R"("tlf": {"enabled": false, "measure": {"measure": "VOC"}})")
            << Record::Tlf << 0 << int(Config::Tlf::MeasureName) << "VOC";
    QTest::newRow("modbus parity") << configuration(R"("modbus": {"parity": "even"})")
                                   << Record::Modbus << 0 << int(Config::Modbus::Parity) << "even";
    QTest::newRow("service stamp")
            << configuration(R"("service": {"lastCalibration": "2026-01-02T03:04:05"})")
            << Record::Service << 0 << int(Config::Service::LastCalibration)
            << "2026-01-02T03:04:05";
    QTest::newRow("relais states of text and number")
            << configuration(R"("relais": [{"states": ["0", 1, false]}])") << Record::Relais << 0
            << int(Config::Relais::States) << "0|1|false";
    QTest::newRow("relais measure after states")
            << configuration(R"("relais": [{"measure": {"measure": "CO2"}}])") << Record::Relais
            << 0 << int(Config::Relais::MeasureName) << "CO2";
}

void tst_Reader::values()
{
    QFETCH(QByteArray, json);
    QFETCH(Record, record);
    QFETCH(int, index);
    QFETCH(int, position);
    QFETCH(QString, text);

    convert task;
    task.readConfiguration(rootOf(json));
    const ConfigRecord &values = recordOf(task, record, index);
    QVERIFY(position < values.size());
    const QVariant value = values.at(position);
    if (text.isNull()) {
        QVERIFY2(value.isNull(), qPrintable(value.toString()));
    } else if (value.userType() == QMetaType::QVariantList) {
        QCOMPARE(value.toStringList().join(QLatin1Char('|')), text);
    } else {
        QCOMPARE(value.toString(), text);
    }
}

void tst_Reader::progressOneToEight()
{
    convert task;
    QSignalSpy progress(&task, &convert::newPbarValue);
    task.readConfiguration(rootOf("{}"));
    QCOMPARE(progress.count(), 8);
    for (int i = 0; i < progress.count(); ++i)
        QCOMPARE(progress.at(i).at(0).toInt(), i + 1);
}

// Records made by hand (a contents page's) may be shorter than the reader's.
void tst_Reader::textAt_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");

    QTest::newRow("last value") << int(Config::General::FieldCount) << int(Config::General::Version)
                                << "7";
    QTest::newRow("past the end") << int(Config::General::Date) << int(Config::General::Date)
                                  << QString();
    QTest::newRow("empty record") << 0 << int(Config::General::Name) << QString();
}

void tst_Reader::textAt()
{
    QFETCH(int, size);
    QFETCH(int, position);
    QFETCH(QString, text);

    ConfigRecord record;
    for (int i = 0; i < size; ++i)
        record.append(i);
    QCOMPARE(Config::textAt(record, position), text);
}

void tst_Reader::secondReadReplaces()
{
    convert task;
    task.readConfiguration(
            rootOf(configuration(R"("outputs": [{}, {}], "relais": [{}], "name": "a")")));
    task.readConfiguration(rootOf(configuration(R"("outputs": [{}])")));
    QCOMPARE(task.outputs.size(), 1);
    QCOMPARE(task.relais.size(), 0);
    QCOMPARE(task.general.size(), int(Config::General::FieldCount));
    QVERIFY(task.general.at(Config::General::Name).isNull());
}

QTEST_MAIN(tst_Reader)
#include "tst_reader.moc"
