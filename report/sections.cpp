#include "engine/configfields.h"
#include "engine/convert.h"
#include "report/vocabularies.h"

#include <QPainter>

using namespace Layout;

using Config::textAt;

// The whole report below the title block, in its fixed order.
void convert::drawSections()
{
    renderGeneral();
    emit newPbarValue(GeneralDrawn);
    renderOutputs();
    emit newPbarValue(OutputsDrawn);
    renderDisplay();
    emit newPbarValue(DisplayDrawn);
    renderTlf();
    emit newPbarValue(TlfDrawn);
    renderRelais();
    emit newPbarValue(RelaisDrawn);
    emit newPbarValue(OffsetsDrawn); // nothing to draw: see ProgressStep
    renderModbus();
    emit newPbarValue(ModbusDrawn);
    nextLine();
    nextLine();
    renderService();
    emit newPbarValue(ServiceDrawn);
}

void convert::beginSection(Config::Section section, const QString &heading, int width, int height)
{
    drawHeading(heading, width, height);
    m_fields.beginSection(section, 0, heading);
}

void convert::beginBlock(Config::Section section, int entry, const QString &title,
                         const QString &text, int position, int width)
{
    const QString heading = title + QLatin1String(": ") + text;
    drawHeading(heading, width);
    m_fields.beginSection(section, entry, heading);
    m_fields.note(m_page, LeftX, y, title, text, position);
}

// Two columns on page 1; never breaks the page.
void convert::renderGeneral()
{
    using namespace Config::General;
    beginSection(Config::Section::General, tr("Allgemeine Einstellungen:"), FullWidth,
                 GeneralHeadingHeight);
    nextLine();
    const int row = y;
    if (QPainter *pen = painter())
        pen->setFont(bodyFont);
    if (general.size() >= FieldCount) {
        printLeft(row, tr("Name: "), textAt(general, Name), Name);
        printLeft(row + LinePitch, tr("Ort: "), textAt(general, Location), Location);
        printLeft(row + 2 * LinePitch, tr("Spannungsuntergrenze [V]: "), textAt(general, Voltage),
                  Voltage);
        printLeft(row + 3 * LinePitch, tr("Versionsnummer: "), textAt(general, Version), Version);
        printField(RightX, row, GeneralRightWidth, tr("Einheitensystem: "),
                   measureSystemText(general.at(MeasureSystem).toInt()), MeasureSystem);
        printField(RightX, row + LinePitch, GeneralRightWidth, tr("Höhe [m]: "),
                   textAt(general, Altitude), Altitude);
    }
    y = row + GeneralSectionHeight;
}

// The values as stored, without vocabulary.
void convert::renderModbus()
{
    using namespace Config::Modbus;
    beginSection(Config::Section::Modbus, tr("Modbus"));
    if (modbus.size() < FieldCount)
        return;
    printRow(tr("Offset: "), textAt(modbus, Offset), Offset);
    printRow(tr("Baudrate: "), textAt(modbus, TransmissionRate), TransmissionRate);
    printRow(tr("Adresse: "), textAt(modbus, Address), Address);
    printRow(tr("Übertragungsart: "), textAt(modbus, Mode), Mode);
    printRow(tr("Parität: "), textAt(modbus, Parity), Parity);
}

void convert::renderService()
{
    using namespace Config::Service;
    beginSection(Config::Section::Service, tr("Service: "));
    if (service.size() < FieldCount)
        return;
    const QString days = QLatin1Char(' ') + tr("Tage");
    printRow(tr("Letzter Service: "), datePart(textAt(service, LastService)), LastService);
    printRow(tr("Nächster Service: "), textAt(service, NextService) + days, NextService);
    printRow(tr("Letzte Kalibrierung: "), datePart(textAt(service, LastCalibration)),
             LastCalibration);
    // Two blanks and "Kalibirierung" kept on purpose: earlier configuration tools print it so.
    printRow(tr("Nächste  Kalibirierung: "), textAt(service, NextCalibration) + days,
             NextCalibration);
}

// One block per output, kept together on a page. A pressure output shows
// only its unit and range; any other also its K-factor, maker and response.
void convert::renderOutputs()
{
    using namespace Config::Output;
    for (int i = 0; i < outputs.size() && !stopRequested(); ++i) {
        const OutputConfig &output = outputs.at(i);
        if (output.size() <= RangeHigh)
            continue; // keeps its number: the next output is numbered by its place
        ensureSpace(OutputBlockHeight);
        const QString measure = textAt(output, MeasureName);
        beginBlock(Config::Section::Output, i, tr("Ausgang ") + QString::number(i + 1), measure,
                   MeasureName, ColumnWidth);
        const int row1 = y + LinePitch;
        const int row2 = row1 + LinePitch;
        const int row3 = row2 + LinePitch;
        const QString unitLabel = tr("Einheit: ");
        const QString unit = unitText(output.at(MeasureUnit).toInt());
        const QString lowLabel = tr("Messbereich Untergrenze: ");
        const QString highLabel = tr("Messbereich Obergrenze: ");
        if (measure == QLatin1String("PRESSURE")) {
            printLeft(row1, unitLabel, unit, MeasureUnit);
            printLeft(row2, lowLabel, textAt(output, RangeLow), RangeLow);
            printLeft(row3, highLabel, textAt(output, RangeHigh), RangeHigh);
        } else {
            printLeft(row1, tr("K-Faktor: "), textAt(output, KFactor), KFactor);
            printRight(row1, unitLabel, unit, MeasureUnit);
            printLeft(row2, tr("Hersteller: "), producerText(output.at(Producer).toInt()),
                      Producer);
            printRight(row2, lowLabel, textAt(output, RangeLow), RangeLow);
            printLeft(row3, tr("Ansprechzeit [s]: "), textAt(output, Response), Response);
            printRight(row3, highLabel, textAt(output, RangeHigh), RangeHigh);
        }
        y += OutputBlockAdvance;
    }
}

// Leaves the cursor on its last line.
void convert::renderDisplay()
{
    using namespace Config::Display;
    beginSection(Config::Section::Display, tr("Display: "));
    if (display.size() <= TlfEnabled)
        return;
    printRow(tr("Status: "),
             display.at(State).toBool() ? tr("Display vorhanden") : tr("Kein Display vorhanden"),
             State);
    printRow(tr("Helligkeit[%]: "), textAt(display, Brightness), Brightness);
    printRow(tr("Rotation[°]: "), QString::number(qint64(display.at(Rotation).toInt()) * 90, 10),
             Rotation);
    printRow(tr("TLF aktiviert: "), yesNoText(textAt(display, TlfEnabled)), TlfEnabled);
}

// Leaves the cursor on its last line.
void convert::renderTlf()
{
    using namespace Config::Tlf;
    nextLine();
    nextLine();
    beginSection(Config::Section::Tlf, tr("TLF:"), TlfHeadingWidth);
    if (tlf.size() <= MeasureName)
        return;
    nextLine();
    printLeft(y, tr("Messgröße: "), textAt(tlf, MeasureName), MeasureName);
    printRight(y, tr("Enabled: "), textAt(tlf, Enabled), Enabled);
    nextLine();
    printLeft(y, tr("Schwellwert 1: "), textAt(tlf, LowThreshold), LowThreshold);
    printRight(y, tr("Schwellwert 2: "), textAt(tlf, HighThreshold), HighThreshold);
    nextLine();
    printLeft(y, tr("Farbe Bereich 1: "), colorText(tlf.at(LowColor).toInt()), LowColor);
    printRight(y, tr("Farbe Bereich 2: "), colorText(tlf.at(MiddleColor).toInt()), MiddleColor);
    printRow(tr("Farbe Bereich 3: "), colorText(tlf.at(HighColor).toInt()), HighColor);
}

// One block per relais: heading, thresholds, one line per state. A block is
// kept on one page when it fits on one; a taller one starts on a fresh page
// and continues its state lines on the following pages.
void convert::renderRelais()
{
    using namespace Config::Relais;
    nextLine();
    nextLine();
    for (int t = 0; t < relais.size() && !stopRequested(); ++t) {
        const RelaisConfig &entry = relais.at(t);
        if (entry.size() <= MeasureName)
            continue; // keeps its number: the next relais is numbered by its place
        const QStringList states = entry.at(States).toStringList();
        const qint64 height = qint64(LinePitch) * (states.size() + RelaisFixedLines);
        const bool fitsOnPage = TopY + height < BottomLimit;
        if (fitsOnPage)
            ensureSpace(qMax(RelaisMinBlockHeight, int(height)));
        else if (y != TopY)
            startNewPage();

        beginBlock(Config::Section::Relais, t,
                   tr("Relais") + QLatin1Char(' ') + QString::number(t + 1),
                   textAt(entry, MeasureName), MeasureName);
        int row = y + LinePitch;
        printLeft(row, tr("Schwellwert 1: "), textAt(entry, LowThreshold), LowThreshold);
        printRight(row, tr("Schwellwert 2: "), textAt(entry, HighThreshold), HighThreshold);
        for (int j = 0; j < states.size(); ++j) {
            row = nextRow(row);
            printLeft(row, tr("Zustand %1: ").arg(j + 1), relaisStateText(states.at(j)), States, j);
        }
        y = row + BlockGap;
        if (y > BottomLimit) // only after a block taller than a page
            startNewPage();
    }
}
