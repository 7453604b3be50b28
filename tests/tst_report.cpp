#include "conversionrun.h"
#include "pdfreport.h"
#include "report/changereport.h"
#include "report/layout.h"
#include "reportprobe.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QtTest>

// The report's sections as a reader sees them: every line's text, column,
// page and height, read back from the PDF.
class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sections_data();
    void sections();
    void relaisTallerThanPage();
    void tallRelaisInARowLeaveNoEmptyPage();
    void wholeReport_data();
    void wholeReport();
    void changes_data();
    void changes();
    void changeReport_data();
    void changeReport();
    void changeListOverPages();

private:
    QString pdfFor(const char *tag) const
    {
        return m_dir.filePath(QString::fromLatin1(tag).replace(QLatin1Char(' '), QLatin1Char('_'))
                              + QLatin1String(".pdf"));
    }
    TestFolder m_dir;
};

namespace {

constexpr int L = Layout::LeftX;
constexpr int R = Layout::RightX;
constexpr int Tolerance = 30; // device units; a glyph box is not exactly its line box

// A line a reader must see: its page, the top of its box, its column and its
// text.
struct ExpectedLine
{
    int page;
    int y;
    int x;
    QString text;
};
using Lines = QVector<ExpectedLine>;

// The sections a row draws, in order.
enum class Section { Outputs, Display, Tlf, Relais };
using Sections = QVector<Section>;

ExpectedLine line(int page, int y, int x, const QString &text)
{
    return {page, y, x, text};
}

// "page:y:x:text", as the failure messages show a line.
QString describe(int page, int y, int x, const QString &text)
{
    return QStringLiteral("%1:%2:%3:%4").arg(page).arg(y).arg(x).arg(text);
}

QString describe(const ExpectedLine &l)
{
    return describe(l.page, l.y, l.x, l.text);
}

QString describe(const PdfLine &l)
{
    return describe(l.page, l.boxY(), l.x, l.text);
}

enum Extent { AllLines, LeadingLines };

// Compares the lines of a report from line from on with the expected ones, in
// reading order: all of them, or only as many as are expected.
bool sameLines(const PdfReport &report, const Lines &expected, int from, QString *why,
               Extent extent = AllLines)
{
    const QVector<PdfLine> &lines = report.lines();
    const int available = lines.size() - from;
    if (extent == AllLines ? available != expected.size() : available < expected.size()) {
        QStringList got;
        for (int i = from; i < lines.size(); ++i)
            got << describe(lines.at(i));
        *why = QStringLiteral("%1 lines, expected %2:\n%3")
                       .arg(available)
                       .arg(expected.size())
                       .arg(got.join(QLatin1Char('\n')));
        return false;
    }
    for (int i = 0; i < expected.size(); ++i) {
        const ExpectedLine &want = expected.at(i);
        const PdfLine &got = lines.at(from + i);
        if (got.page != want.page || qAbs(got.boxY() - want.y) > Tolerance
            || qAbs(got.x - want.x) > Tolerance || got.text != want.text) {
            *why = QStringLiteral("line %1 is %2, expected %3")
                           .arg(i)
                           .arg(describe(got), describe(want));
            return false;
        }
    }
    return true;
}

const QByteArray TwoOutputs = configuration(R"("outputs": [
    {"k_factor": 92.3, "producer": 1, "response": 2,
     "measure": {"measure": "PRESSURE", "unit": 9, "rangeLow": 0, "rangeHigh": 1000}},
    {"k_factor": 48, "producer": 2, "response": 10,
     "measure": {"measure": "VOLUMEFLOW", "unit": 16, "rangeLow": 0, "rangeHigh": 12000}}])");

const QByteArray OnePressure = configuration(R"("outputs": [
    {"measure": {"measure": "PRESSURE", "unit": 12, "rangeLow": -50, "rangeHigh": 50}}])");

const QByteArray DisplayAndTlf = configuration(R"(
    "display": {"state": true, "brightness": 80, "rotation": 2, "tlfEnabled": true},
    "tlf": {"enabled": true, "lowThreshold": 300, "highThreshold": 600, "lowColor": 1,
            "middleColor": 2, "highColor": 3, "measure": {"measure": "PRESSURE"}})");

Lines relaisLines(int page, int heading, int number, const QString &measure, const QString &low,
                  const QString &high, const QStringList &states)
{
    Lines lines {line(page, heading, L, QStringLiteral("Relais %1: %2").arg(number).arg(measure)),
                 line(page, heading + 330, L, QStringLiteral("Schwellwert 1: ") + low),
                 line(page, heading + 330, R, QStringLiteral("Schwellwert 2: ") + high)};
    for (int j = 0; j < states.size(); ++j)
        lines << line(page, heading + 660 + 330 * j, L,
                      QStringLiteral("Zustand %1: %2").arg(j + 1).arg(states.at(j)));
    return lines;
}

QByteArray relaisWithStates(int count)
{
    QByteArray states;
    for (int i = 0; i < count; ++i)
        states += (i ? "," : "") + QByteArray::number(i % 2);
    return configuration(R"("relais": [{"lowThreshold": 1, "highThreshold": 2, "states": [)"
                         + states + R"(], "measure": {"measure": "CO2"}}])");
}

QStringList alternating(int count)
{
    QStringList states;
    for (int i = 0; i < count; ++i)
        states << (i % 2 ? QStringLiteral("Geschlossen") : QStringLiteral("Geöffnet"));
    return states;
}

} // namespace

Q_DECLARE_METATYPE(ExpectedLine)
Q_DECLARE_METATYPE(Section)

void tst_Report::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
}

void tst_Report::sections_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Sections>("sections");
    QTest::addColumn<int>("start");
    QTest::addColumn<Lines>("expected");
    QTest::addColumn<int>("end");

    const QByteArray twoRelais = configuration(R"("relais": [
        {"lowThreshold": 200, "highThreshold": 400, "states": [0, 1], "measure": {"measure": "PRESSURE"}},
        {"lowThreshold": "a", "highThreshold": 9.5, "states": ["0", false, 0], "measure": {"measure": "CO2"}}])");
    const QByteArray twoStates = configuration(R"("relais": [
        {"lowThreshold": 1, "highThreshold": 2, "states": [1, 0], "measure": {"measure": "CO2"}}])");

    const Sections outputs {Section::Outputs};
    const Sections displayAndTlf {Section::Display, Section::Tlf};
    const Sections relais {Section::Relais};

    // clang-format off
    QTest::newRow("outputs: pressure, then two columns")
            << TwoOutputs << outputs << 3000
            << Lines {line(0, 3000, L, "Ausgang 1: PRESSURE"),
                      line(0, 3330, L, "Einheit: Pa"),
                      line(0, 3660, L, "Messbereich Untergrenze: 0"),
                      line(0, 3990, L, "Messbereich Obergrenze: 1000"),
                      line(0, 4650, L, "Ausgang 2: VOLUMEFLOW"),
                      line(0, 4980, L, "K-Faktor: 48"),
                      line(0, 4980, R, "Einheit: m3_h"),
                      line(0, 5310, L, QStringLiteral("Hersteller: Fläkt Woods")),
                      line(0, 5310, R, "Messbereich Untergrenze: 0"),
                      line(0, 5640, L, "Ansprechzeit [s]: 10"),
                      line(0, 5640, R, "Messbereich Obergrenze: 12000")}
            << 6300;
    QTest::newRow("output block fits at 11047")
            << OnePressure << outputs << 11047
            << Lines {line(0, 11047, L, "Ausgang 1: PRESSURE"),
                      line(0, 11377, L, "Einheit: mbar"),
                      line(0, 11707, L, "Messbereich Untergrenze: -50"),
                      line(0, 12037, L, "Messbereich Obergrenze: 50")}
            << 12697;
    QTest::newRow("output block moves at 11048")
            << OnePressure << outputs << 11048
            << Lines {line(1, 500, L, "Ausgang 1: PRESSURE"),
                      line(1, 830, L, "Einheit: mbar"),
                      line(1, 1160, L, "Messbereich Untergrenze: -50"),
                      line(1, 1490, L, "Messbereich Obergrenze: 50")}
            << 2150;
    QTest::newRow("output without measure, lower-case pressure")
            << configuration(R"("outputs": [{"k_factor": 7}, {"measure": {"measure": "pressure"}}])")
            << outputs << 3000
            << Lines {line(0, 3000, L, "Ausgang 1:"),
                      line(0, 3330, L, "K-Faktor: 7"),
                      line(0, 3330, R, "Einheit:"),
                      line(0, 3660, L, "Hersteller: Rosenberg/Comefri/Gebhardt Nicotra"),
                      line(0, 3660, R, "Messbereich Untergrenze:"),
                      line(0, 3990, L, "Ansprechzeit [s]:"),
                      line(0, 3990, R, "Messbereich Obergrenze:"),
                      line(0, 4650, L, "Ausgang 2: pressure"),
                      line(0, 4980, L, "K-Faktor:"),
                      line(0, 4980, R, "Einheit:"),
                      line(0, 5310, L, "Hersteller: Rosenberg/Comefri/Gebhardt Nicotra"),
                      line(0, 5310, R, "Messbereich Untergrenze:"),
                      line(0, 5640, L, "Ansprechzeit [s]:"),
                      line(0, 5640, R, "Messbereich Obergrenze:")}
            << 6300;
    QTest::newRow("no outputs leave the cursor")
            << configuration(R"("outputs": [])") << outputs << 4344
            << Lines()
            << 4344;

    QTest::newRow("display and TLF")
            << DisplayAndTlf << displayAndTlf << 4000
            << Lines {line(0, 4000, L, "Display:"),
                      line(0, 4330, L, "Status: Display vorhanden"),
                      line(0, 4660, L, "Helligkeit[%]: 80"),
                      line(0, 4990, L, QStringLiteral("Rotation[°]: 180")),
                      line(0, 5320, L, "TLF aktiviert: Ja"),
                      line(0, 5980, L, "TLF:"),
                      line(0, 6310, L, QStringLiteral("Messgröße: PRESSURE")),
                      line(0, 6310, R, "Enabled: true"),
                      line(0, 6640, L, "Schwellwert 1: 300"),
                      line(0, 6640, R, "Schwellwert 2: 600"),
                      line(0, 6970, L, QStringLiteral("Farbe Bereich 1: Grün")),
                      line(0, 6970, R, "Farbe Bereich 2: Gelb"),
                      line(0, 7300, L, "Farbe Bereich 3: Rot")}
            << 7300;
    QTest::newRow("no display, no TLF")
            << configuration(R"("display": {"rotation": -1, "tlfEnabled": false})")
            << displayAndTlf << 4000
            << Lines {line(0, 4000, L, "Display:"),
                      line(0, 4330, L, "Status: Kein Display vorhanden"),
                      line(0, 4660, L, "Helligkeit[%]:"),
                      line(0, 4990, L, QStringLiteral("Rotation[°]: -90")),
                      line(0, 5320, L, "TLF aktiviert: Nein"),
                      line(0, 5980, L, "TLF:"),
                      line(0, 6310, L, QStringLiteral("Messgröße:")),
                      line(0, 6310, R, "Enabled:"),
                      line(0, 6640, L, "Schwellwert 1:"),
                      line(0, 6640, R, "Schwellwert 2:"),
                      line(0, 6970, L, QStringLiteral("Farbe Bereich 1: Grün")),
                      line(0, 6970, R, QStringLiteral("Farbe Bereich 2: Grün")),
                      line(0, 7300, L, QStringLiteral("Farbe Bereich 3: Grün"))}
            << 7300;
    QTest::newRow("TLF heading after a display ending at 12500")
            << DisplayAndTlf << displayAndTlf << 11180
            << Lines {line(0, 11180, L, "Display:"),
                      line(0, 11510, L, "Status: Display vorhanden"),
                      line(0, 11840, L, "Helligkeit[%]: 80"),
                      line(0, 12170, L, QStringLiteral("Rotation[°]: 180")),
                      line(0, 12500, L, "TLF aktiviert: Ja"),
                      line(1, 500, L, "TLF:"),
                      line(1, 830, L, QStringLiteral("Messgröße: PRESSURE")),
                      line(1, 830, R, "Enabled: true"),
                      line(1, 1160, L, "Schwellwert 1: 300"),
                      line(1, 1160, R, "Schwellwert 2: 600"),
                      line(1, 1490, L, QStringLiteral("Farbe Bereich 1: Grün")),
                      line(1, 1490, R, "Farbe Bereich 2: Gelb"),
                      line(1, 1820, L, "Farbe Bereich 3: Rot")}
            << 1820;

    QTest::newRow("relais: two blocks")
            << twoRelais << relais << 7300
            << relaisLines(0, 7960, 1, "PRESSURE", "200", "400", {QStringLiteral("Geöffnet"), "Geschlossen"})
                 + relaisLines(0, 9610, 2, "CO2", "a", "9.5",
                               {QStringLiteral("Geöffnet"), "Geschlossen", QStringLiteral("Geöffnet")})
            << 11590;
    QTest::newRow("no relais still advance two lines")
            << configuration(R"("relais": [])") << relais << 7300
            << Lines()
            << 7960;
    QTest::newRow("relais block fits at 11377")
            << twoStates << relais << 11377 - 660
            << relaisLines(0, 11377, 1, "CO2", "1", "2", {"Geschlossen", QStringLiteral("Geöffnet")})
            << 13027;
    QTest::newRow("relais block moves at 11378")
            << twoStates << relais << 11378 - 660
            << relaisLines(1, 500, 1, "CO2", "1", "2", {"Geschlossen", QStringLiteral("Geöffnet")})
            << 2150;
    QTest::newRow("relais of seven states kept whole on the next page")
            << relaisWithStates(7) << relais << 11000 - 660
            << relaisLines(1, 500, 1, "CO2", "1", "2", alternating(7))
            << 3800;
    QTest::newRow("relais of seven states that fits stays")
            << relaisWithStates(7) << relais << 3000 - 660
            << relaisLines(0, 3000, 1, "CO2", "1", "2", alternating(7))
            << 6300;
    // clang-format on
}

void tst_Report::sections()
{
    QFETCH(QByteArray, json);
    QFETCH(Sections, sections);
    QFETCH(int, start);
    QFETCH(Lines, expected);
    QFETCH(int, end);

    const QString pdf = pdfFor(QTest::currentDataTag());
    ReportProbe probe;
    probe.read(json);
    const int cursor = probe.draw(pdf, start, [&sections](ReportProbe &p) {
        for (const Section section : sections) {
            switch (section) {
            case Section::Outputs:
                p.renderOutputs();
                break;
            case Section::Display:
                p.renderDisplay();
                break;
            case Section::Tlf:
                p.renderTlf();
                break;
            case Section::Relais:
                p.renderRelais();
                break;
            }
        }
    });

    const PdfReport report(pdf);
    QVERIFY(report.isValid());
    QString why;
    QVERIFY2(sameLines(report, expected, 0, &why), qPrintable(why));
    QCOMPARE(cursor, end);
}

void tst_Report::relaisTallerThanPage()
{
    const QString pdf = pdfFor("tall relais");
    ReportProbe probe;
    probe.read(relaisWithStates(40));
    const int cursor = probe.draw(pdf, 5000 - 660, [](ReportProbe &p) { p.renderRelais(); });

    // It starts on a fresh page and runs on: 36 state lines fit below its
    // heading and thresholds, the other four open the page after.
    const QStringList states = alternating(40);
    Lines expected = relaisLines(1, 500, 1, "CO2", "1", "2", states.mid(0, 36));
    for (int j = 36; j < 40; ++j)
        expected << line(2, 500 + 330 * (j - 36), L,
                         QStringLiteral("Zustand %1: %2").arg(j + 1).arg(states.at(j)));
    const PdfReport report(pdf);
    QString why;
    QVERIFY2(sameLines(report, expected, 0, &why), qPrintable(why));
    QCOMPARE(report.pageCount(), 3);
    QCOMPARE(cursor, 1490 + 660);
}

void tst_Report::tallRelaisInARowLeaveNoEmptyPage()
{
    QByteArray entries;
    for (int count : {40, 36, 60, 2}) { // the one of 36 ends on its page's last line
        QByteArray states;
        for (int i = 0; i < count; ++i)
            states += (i ? ",1" : "1");
        entries += (entries.isEmpty() ? "" : ",") + QByteArray(R"({"states": [)") + states + "]}";
    }
    const QString pdf = pdfFor("tall relais in a row");
    ReportProbe probe;
    probe.read(configuration(R"("relais": [)" + entries + "]"));
    probe.draw(pdf, 3000, [](ReportProbe &p) {
        p.mark(QStringLiteral("Vorher")); // what stands above on the first page
        p.renderRelais();
    });

    const PdfReport report(pdf);
    QVector<int> linesPerPage(report.pageCount());
    int stateLines = 0;
    for (const PdfLine &l : report.lines()) {
        ++linesPerPage[l.page];
        QVERIFY2(l.boxY() <= Layout::BottomLimit, qPrintable(describe(l)));
        stateLines += l.text.startsWith(QLatin1String("Zustand ")) ? 1 : 0;
    }
    QCOMPARE(stateLines, 40 + 36 + 60 + 2);
    QVERIFY2(!linesPerPage.contains(0), "a page without a line");
}

void tst_Report::wholeReport_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Lines>("expected"); // from the general heading on

    // clang-format off
    QTest::newRow("no modbus, no display, no outputs")
            << configuration(R"("name": "Abluft", "measureSystem": 1, "altitude": 120,
                               "service": {"lastService": "2026-11-30T09:41:12", "nextService": 365,
                                           "lastCalibration": "2026-06-02t14:05", "nextCalibration": "180"})")
            << Lines {line(0, 2204, L, "Allgemeine Einstellungen:"),
                      line(0, 2534, L, "Name: Abluft"),
                      line(0, 2534, R, "Einheitensystem: Si"),
                      line(0, 2864, L, "Ort:"),
                      line(0, 2864, R, QStringLiteral("Höhe [m]: 120")),
                      line(0, 3194, L, "Spannungsuntergrenze [V]:"),
                      line(0, 3524, L, "Versionsnummer:"),
                      line(0, 4344, L, "Display:"),
                      line(0, 4674, L, "Status: Kein Display vorhanden"),
                      line(0, 5004, L, "Helligkeit[%]:"),
                      line(0, 5334, L, QStringLiteral("Rotation[°]: 0")),
                      line(0, 5664, L, "TLF aktiviert: Ja"),
                      line(0, 6324, L, "TLF:"),
                      line(0, 6654, L, QStringLiteral("Messgröße:")),
                      line(0, 6654, R, "Enabled:"),
                      line(0, 6984, L, "Schwellwert 1:"),
                      line(0, 6984, R, "Schwellwert 2:"),
                      line(0, 7314, L, QStringLiteral("Farbe Bereich 1: Grün")),
                      line(0, 7314, R, QStringLiteral("Farbe Bereich 2: Grün")),
                      line(0, 7644, L, QStringLiteral("Farbe Bereich 3: Grün")),
                      line(0, 8304, L, "Modbus"),
                      line(0, 8634, L, "Offset:"),
                      line(0, 8964, L, "Baudrate:"),
                      line(0, 9294, L, "Adresse:"),
                      line(0, 9624, L, QStringLiteral("Übertragungsart:")),
                      line(0, 9954, L, QStringLiteral("Parität:")),
                      line(0, 10614, L, "Service:"),
                      line(0, 10944, L, "Letzter Service: 2026-11-30"),
                      line(0, 11274, L, QStringLiteral("Nächster Service: 365 Tage")),
                      line(0, 11604, L, "Letzte Kalibrierung: 2026-06-02t14:05"),
                      line(0, 11934, L, QStringLiteral("Nächste Kalibirierung: 180 Tage"))};
    QTest::newRow("outputs start at 4344")
            << configuration(R"("measureSystem": 2, "modbus": {"transmissionRate": 19200, "parity": "even"},
                               "outputs": [{"measure": {"measure": "PRESSURE", "unit": 2147483647}}])")
            << Lines {line(0, 2204, L, "Allgemeine Einstellungen:"),
                      line(0, 2534, L, "Name:"),
                      line(0, 2534, R, "Einheitensystem: Imp"),
                      line(0, 2864, L, "Ort:"),
                      line(0, 2864, R, QStringLiteral("Höhe [m]:")),
                      line(0, 3194, L, "Spannungsuntergrenze [V]:"),
                      line(0, 3524, L, "Versionsnummer:"),
                      line(0, 4344, L, "Ausgang 1: PRESSURE"),
                      line(0, 4674, L, "Einheit: MAX2"),
                      line(0, 5004, L, "Messbereich Untergrenze:"),
                      line(0, 5334, L, "Messbereich Obergrenze:")};
    // clang-format on
}

void tst_Report::wholeReport()
{
    QFETCH(QByteArray, json);
    QFETCH(Lines, expected);

    const QString source
            = writeFile(pdfFor(QTest::currentDataTag()) + QLatin1String(".json"), json);
    const QString pdf = convert::outputFileName(source);
    QCOMPARE(runConversion(source, pdf).finished, 1);

    const PdfReport report(pdf);
    const int from = report.indexOf(QStringLiteral("Allgemeine Einstellungen:"));
    QVERIFY(from > 0);
    QString why;
    QVERIFY2(sameLines(report, expected, from, &why, LeadingLines), qPrintable(why));
}

namespace {

// A configuration as it was found: one output of each layout, display,
// TLF, one relais, Modbus, service and offsets.
const QByteArray Found = R"({"configuration": {"name": "Abluft", "date": "01.02.2026 08:00",
    "altitude": 310,
    "outputs": [{"k_factor": 92.3, "producer": 1,
                 "measure": {"measure": "PRESSURE", "unit": 9, "rangeLow": 0, "value": 433.0}},
                {"k_factor": 48, "producer": 2, "measure": {"measure": "VOLUMEFLOW", "unit": 16}}],
    "display": {"state": true, "brightness": 80, "sensors": ["PRESSURE"]},
    "tlf": {"lowThreshold": 300, "highThreshold": 600, "middleColor": 2},
    "relais": [{"lowThreshold": 200, "states": [0, 1], "measure": {"measure": "PRESSURE"}}],
    "offsets": [0.5, 1], "modbus": {"address": 12}, "service": {"nextService": 365}}})";

// Found with each replacement of a text in it made.
QByteArray found(const QVector<QPair<QByteArray, QByteArray>> &edits)
{
    QByteArray json = Found;
    for (const auto &edit : edits) {
        Q_ASSERT(json.contains(edit.first));
        json.replace(edit.first, edit.second);
    }
    return json;
}

// "section | label | before | after", as a change report lists a change.
QStringList changeLines(const QVector<ConfigChange> &changes)
{
    QStringList lines;
    for (const ConfigChange &change : changes)
        lines << QStringList {change.section, change.label, change.before, change.after}.join(
                QStringLiteral(" | "));
    return lines;
}

} // namespace

void tst_Report::changes_data()
{
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("count");

    // clang-format off
    QTest::newRow("identical") << Found << QStringList() << 0;
    QTest::newRow("numbers as printed, 310 and 310.0")
            << found({{"310", "310.0"}, {"433.0", "433"}}) << QStringList() << 0;
    QTest::newRow("the date says when, it is no change")
            << found({{"01.02.2026", "03.02.2026"}}) << QStringList() << 0;
    QTest::newRow("text exactly")
            << found({{"\"Abluft\"", "\"abluft\""}})
            << QStringList {"Allgemeine Einstellungen | Name | Abluft | abluft"} << 1;
    QTest::newRow("one per section, in the report's order")
            << found({{"\"address\": 12", "\"address\": 7"}, {"365", "180"},
                      {"\"highThreshold\": 600", "\"highThreshold\": 650"}, {"310", "320"},
                      {"\"brightness\": 80", "\"brightness\": 60"}, {"[0, 1]", "[0, 0]"},
                      {"\"lowThreshold\": 200", "\"lowThreshold\": 250"}, {"48", "50"}})
            << QStringList {"Allgemeine Einstellungen | Höhe [m] | 310 | 320",
                            "Ausgang 2: VOLUMEFLOW | K-Faktor | 48 | 50",
                            "Display | Helligkeit[%] | 80 | 60",
                            "TLF | Schwellwert 2 | 600 | 650",
                            "Relais 1: PRESSURE | Schwellwert 1 | 200 | 250",
                            QStringLiteral("Relais 1: PRESSURE | Zustand 2 | Geschlossen | Geöffnet"),
                            "Modbus | Adresse | 12 | 7",
                            QStringLiteral("Service | Nächster Service | 365 Tage | 180 Tage")} << 8;
    QTest::newRow("vocabularies")
            << found({{"\"producer\": 2", "\"producer\": 1"}, {"\"unit\": 16", "\"unit\": 15"},
                      {"\"middleColor\": 2", "\"middleColor\": 3"}})
            << QStringList {QStringLiteral("Ausgang 2: VOLUMEFLOW | Einheit | m3_h | m3_s"),
                            QStringLiteral("Ausgang 2: VOLUMEFLOW | Hersteller | Fläkt Woods | Ziehl-Abegg/EBM-Papst"),
                            "TLF | Farbe Bereich 2 | Gelb | Rot"} << 3;
    QTest::newRow("another device: the name first")
            << found({{"310", "311"}, {"\"Abluft\"", "\"Zuluft\""}})
            << QStringList {"Allgemeine Einstellungen | Name | Abluft | Zuluft",
                            "Allgemeine Einstellungen | Höhe [m] | 310 | 311"} << 2;
    QTest::newRow("unprinted values by key, after the printed")
            << found({{"433.0", "500.5"}, {"[0.5, 1]", "[0.5, 2]"}, {"92.3", "90"},
                      {"[\"PRESSURE\"]", "[\"PRESSURE\", \"CO2\"]"}, {"\"address\": 12", "\"address\": 1"}})
            << QStringList {"Modbus | Adresse | 12 | 1",
                            "Allgemeine Einstellungen | offsets[1] | 1 | 2",
                            "Ausgang 1: PRESSURE | k_factor | 92.3 | 90",
                            "Ausgang 1: PRESSURE | measure.value | 433 | 500.5",
                            "Display | sensors[1] |  | CO2"} << 5;
    QTest::newRow("a pressure output turned, its maker kept")
            << found({{"\"PRESSURE\", \"unit\": 9", "\"FLOW\", \"unit\": 9"}})
            << QStringList {"Ausgang 1: FLOW | Ausgang 1 | PRESSURE | FLOW"} << 1;
    QTest::newRow("a relais added, a state added")
            << found({{"[0, 1]", "[0, 1, 0]"},
                      {"\"PRESSURE\"}}]", "\"PRESSURE\"}}, {\"lowThreshold\": 5, \"measure\": {\"measure\": \"CO2\"}}]"}})
            << QStringList {QStringLiteral("Relais 1: PRESSURE | Zustand 3 |  | Geöffnet"),
                            "Relais 2: CO2 |  |  | neu"} << 2;
    QTest::newRow("an output removed, with its values")
            << found({{R"(,
                {"k_factor": 48, "producer": 2, "measure": {"measure": "VOLUMEFLOW", "unit": 16}})", ""}})
            << QStringList {"Ausgang 2: VOLUMEFLOW |  |  | entfernt",
                            "Ausgang 2: VOLUMEFLOW | Ausgang 2 | VOLUMEFLOW | ",
                            "Ausgang 2: VOLUMEFLOW | K-Faktor | 48 | ",
                            "Ausgang 2: VOLUMEFLOW | Einheit | m3_h | ",
                            QStringLiteral("Ausgang 2: VOLUMEFLOW | Hersteller | Fläkt Woods | "),
                            "Ausgang 2: VOLUMEFLOW | Messbereich Untergrenze |  | ",
                            "Ausgang 2: VOLUMEFLOW | Ansprechzeit [s] |  | ",
                            "Ausgang 2: VOLUMEFLOW | Messbereich Obergrenze |  | "} << 1;
    // clang-format on
}

void tst_Report::changes()
{
    QFETCH(QByteArray, after);
    QFETCH(QStringList, expected);
    QFETCH(int, count);

    ComparedConfiguration before;
    before.read(QJsonDocument::fromJson(Found).object());
    ComparedConfiguration later;
    const QJsonDocument document = QJsonDocument::fromJson(after);
    QVERIFY(document.isObject());
    later.read(document.object());
    const QVector<ConfigChange> changes = compareConfigurations(before, later);
    QCOMPARE(changeLines(changes), expected);
    QCOMPARE(changeCount(changes), count);
}

void tst_Report::changeReport_data()
{
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("list"); // the first page's lines after the files
    QTest::addColumn<QStringList>("marked"); // the later report's lines marked

    // clang-format off
    QTest::newRow("changes")
            << found({{"310", "320"}, {"\"producer\": 2", "\"producer\": 1"}, {"433.0", "1"},
                      {"\"PRESSURE\"}}]", "\"PRESSURE\"}}, {\"lowThreshold\": 7, \"highThreshold\": 8, \"states\": [1]}]"}})
            << QStringList {"Abschnitt", "Feld", "Vorher", "Nachher",
                            "Allgemeine Einstellungen", QStringLiteral("Höhe [m]"), "310", "320",
                            "Ausgang 2: VOLUMEFLOW", "Hersteller", QStringLiteral("Fläkt Woods"),
                            "Ziehl-Abegg/EBM-Papst",
                            "Relais 2", "neu",
                            "Ausgang 1: PRESSURE", "measure.value", "433", "1"}
            // A row's bar marks both its lines.
            << QStringList {"Ort:", QStringLiteral("Höhe [m]: 320"),
                            "Hersteller: Ziehl-Abegg/EBM-Papst", "Messbereich Untergrenze:",
                            "Relais 2:", "Schwellwert 1: 7", "Schwellwert 2: 8",
                            "Zustand 1: Geschlossen"};
    QTest::newRow("no change") << Found << QStringList {QStringLiteral("Keine Änderungen")}
                               << QStringList();
    // clang-format on
}

// The first page lists the changes; from the next one on stands the later
// state's report exactly as its single report, its changed lines marked.
void tst_Report::changeReport()
{
    QFETCH(QByteArray, after);
    QFETCH(QStringList, list);
    QFETCH(QStringList, marked);

    const QString tag = pdfFor(QTest::currentDataTag()).chopped(4);
    const QString earlier = writeFile(tag + QLatin1String("-vorher.json"), Found);
    const QString later = writeFile(tag + QLatin1String("-nachher.json"), after);
    const QString single = tag + QLatin1String("-einzeln.pdf");
    QCOMPARE(runConversion(later, single).finished, 1);
    const ChangeReportOutcome outcome
            = writeChangeReport({earlier, later, tag + QLatin1String("-aenderungen.pdf")}, false);
    QVERIFY2(outcome.written, qPrintable(outcome.reason));
    QVERIFY(outcome.warnings.isEmpty());

    const PdfReport report(tag + QLatin1String("-aenderungen.pdf"));
    const PdfReport alone(single);
    const int files = report.indexOf(QStringLiteral("Nachher: "));
    QVERIFY(files > 0);
    QCOMPARE(report.texts().mid(0, 2),
             QStringList({QStringLiteral("Änderungsprotokoll"),
                          marked.isEmpty() ? QStringLiteral("0 Änderungen")
                                           : QStringLiteral("4 Änderungen")}));
    // The date stands beyond the right column's edge: a line of its own here.
    // A long path is shortened at the left.
    QVERIFY(report.lines().at(files).text.endsWith(QFileInfo(later).fileName()));
    const int dated = report.indexOf(QStringLiteral("(01.02.2026 08:00)"), files);
    QVERIFY(dated > files);
    QCOMPARE(report.texts().mid(dated + 1, list.size()), list);
    const int first = report.indexOf(QStringLiteral("Ordano Protokoll vom:"));
    QCOMPARE(report.pageCount(), alone.pageCount() + 1);
    QCOMPARE(report.lines().size() - first, alone.lines().size());
    for (int i = 0; i < alone.lines().size(); ++i) {
        const PdfLine &want = alone.lines().at(i);
        const PdfLine &got = report.lines().at(first + i);
        QVERIFY2(got.page == want.page + 1 && got.text == want.text && got.x == want.x
                         && got.centerY == want.centerY,
                 qPrintable(describe(got) + QLatin1String(" for ") + describe(want)));
        const bool isMarked = marked.contains(want.text);
        const double ink = report.inkIn(got.page, Layout::ChangeMarkX, got.boxY(),
                                        Layout::ChangeMarkWidth, Layout::BoxHeight);
        QVERIFY2(isMarked ? ink > 0.5 : ink == 0, qPrintable(describe(want)));
    }
}

// A list longer than a page goes on with its header on the next; a value
// longer than its column wraps, and one longer than four lines is cut.
void tst_Report::changeListOverPages()
{
    QByteArray relais;
    for (int i = 0; i < 50; ++i)
        relais += R"(, {"measure": {"measure": "CO2"}})";
    const QString longName = QStringLiteral("Abluft ") + QString(300, QLatin1Char('x'));
    const QString tag = pdfFor("long list").chopped(4);
    const QString earlier = writeFile(tag + QLatin1String("-vorher.json"), Found);
    const QString later = writeFile(tag + QLatin1String("-nachher.json"),
                                    found({{"\"PRESSURE\"}}]", "\"PRESSURE\"}}" + relais + "]"},
                                           {"\"Abluft\"", "\"" + longName.toUtf8() + "\""}}));
    const QString pdf = tag + QLatin1String("-aenderungen.pdf");
    const ChangeReportOutcome outcome = writeChangeReport({earlier, later, pdf}, false);
    QVERIFY2(outcome.written, qPrintable(outcome.reason));

    const PdfReport report(pdf);
    QCOMPARE(report.find(QStringLiteral("Ordano Protokoll vom:"))->page, 2);
    QCOMPARE(report.pageTexts(1, 2).value(0), QStringLiteral("Abschnitt"));
    QCOMPARE(report.texts().count(QStringLiteral("neu")), 50);
    // The row of the name: label, the old value, the new one in four lines.
    const int label = report.indexOf(QStringLiteral("Name"));
    QVERIFY(label > 0);
    const QVector<PdfLine> &lines = report.lines();
    QCOMPARE(report.texts().mid(label, 3), QStringList({"Name", "Abluft", "Abluft"}));
    const PdfLine &first = lines.at(label + 2);
    for (int line = 1; line < 4; ++line) {
        QCOMPARE(lines.at(label + 2 + line).x, first.x);
        QVERIFY(qAbs(lines.at(label + 2 + line).centerY - first.centerY - 250 * line) < 5);
    }
    QVERIFY(lines.at(label + 5).text.endsWith(QStringLiteral("x\u2026")));
    for (const PdfLine &line : lines)
        QVERIFY2(line.boxY() < Layout::BottomLimit, qPrintable(describe(line)));
}

QTEST_MAIN(tst_Report)
#include "tst_report.moc"
