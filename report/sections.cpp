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

// Two columns on page 1; never breaks the page.
void convert::renderGeneral()
{
    drawHeading(tr("Allgemeine Einstellungen:"), FullWidth, GeneralHeadingHeight);
    nextLine();
    const int row = y;
    painter()->setFont(bodyFont);
    if (general.size() >= Config::General::FieldCount) {
        drawLeft(row, tr("Name: ") + textAt(general, Config::General::Name));
        drawLeft(row + LinePitch, tr("Ort: ") + textAt(general, Config::General::Location));
        drawLeft(row + 2 * LinePitch,
                 tr("Spannungsuntergrenze [V]: ") + textAt(general, Config::General::Voltage));
        drawLeft(row + 3 * LinePitch,
                 tr("Versionsnummer: ") + textAt(general, Config::General::Version));
        drawBox(RightX, row, GeneralRightWidth,
                tr("Einheitensystem: ")
                        + measureSystemText(general.at(Config::General::MeasureSystem).toInt()));
        drawBox(RightX, row + LinePitch, GeneralRightWidth,
                tr("Höhe [m]: ") + textAt(general, Config::General::Altitude));
    }
    y = row + GeneralSectionHeight;
}

// The values as stored, without vocabulary.
void convert::renderModbus()
{
    drawHeading(tr("Modbus"));
    if (modbus.size() < Config::Modbus::FieldCount)
        return;
    drawRow(tr("Offset: ") + textAt(modbus, Config::Modbus::Offset));
    drawRow(tr("Baudrate: ") + textAt(modbus, Config::Modbus::TransmissionRate));
    drawRow(tr("Adresse: ") + textAt(modbus, Config::Modbus::Address));
    drawRow(tr("Übertragungsart: ") + textAt(modbus, Config::Modbus::Mode));
    drawRow(tr("Parität: ") + textAt(modbus, Config::Modbus::Parity));
}

void convert::renderService()
{
    drawHeading(tr("Service: "));
    if (service.size() < Config::Service::FieldCount)
        return;
    const QString days = QLatin1Char(' ') + tr("Tage");
    drawRow(tr("Letzter Service: ") + datePart(textAt(service, Config::Service::LastService)));
    drawRow(tr("Nächster Service: ") + textAt(service, Config::Service::NextService) + days);
    drawRow(tr("Letzte Kalibrierung: ")
            + datePart(textAt(service, Config::Service::LastCalibration)));
    // Two blanks and "Kalibirierung" kept on purpose: earlier configuration tools print it so.
    drawRow(tr("Nächste  Kalibirierung: ") + textAt(service, Config::Service::NextCalibration)
            + days);
}

// One block per output, kept together on a page. A pressure output shows
// only its unit and range; any other also its K-factor, maker and response.
void convert::renderOutputs()
{
    for (int i = 0; i < outputs.size() && !stopRequested(); ++i) {
        const OutputConfig &output = outputs.at(i);
        if (output.size() <= Config::Output::RangeHigh)
            continue; // keeps its number: the next output is numbered by its place
        ensureSpace(OutputBlockHeight);
        const QString measure = textAt(output, Config::Output::MeasureName);
        drawHeading(tr("Ausgang ") + QString::number(i + 1) + QLatin1String(": ") + measure,
                    ColumnWidth);
        const int row1 = y + LinePitch;
        const int row2 = row1 + LinePitch;
        const int row3 = row2 + LinePitch;
        const QString unit
                = tr("Einheit: ") + unitText(output.at(Config::Output::MeasureUnit).toInt());
        const QString low
                = tr("Messbereich Untergrenze: ") + textAt(output, Config::Output::RangeLow);
        const QString high
                = tr("Messbereich Obergrenze: ") + textAt(output, Config::Output::RangeHigh);
        if (measure == QLatin1String("PRESSURE")) {
            drawLeft(row1, unit);
            drawLeft(row2, low);
            drawLeft(row3, high);
        } else {
            drawLeft(row1, tr("K-Faktor: ") + textAt(output, Config::Output::KFactor));
            drawRight(row1, unit);
            drawLeft(row2, tr("Hersteller: ")
                                   + producerText(output.at(Config::Output::Producer).toInt()));
            drawRight(row2, low);
            drawLeft(row3, tr("Ansprechzeit [s]: ") + textAt(output, Config::Output::Response));
            drawRight(row3, high);
        }
        y += OutputBlockAdvance;
    }
}

// Leaves the cursor on its last line.
void convert::renderDisplay()
{
    drawHeading(tr("Display: "));
    if (display.size() <= Config::Display::TlfEnabled)
        return;
    drawRow(tr("Status: ")
            + (display.at(Config::Display::State).toBool() ? tr("Display vorhanden")
                                                           : tr("Kein Display vorhanden")));
    drawRow(tr("Helligkeit[%]: ") + textAt(display, Config::Display::Brightness));
    drawRow(tr("Rotation[°]: ")
            + QString::number(qint64(display.at(Config::Display::Rotation).toInt()) * 90, 10));
    drawRow(tr("TLF aktiviert: ") + yesNoText(textAt(display, Config::Display::TlfEnabled)));
}

// Leaves the cursor on its last line.
void convert::renderTlf()
{
    nextLine();
    nextLine();
    drawHeading(tr("TLF:"), TlfHeadingWidth);
    if (tlf.size() <= Config::Tlf::MeasureName)
        return;
    drawRow(tr("Messgröße: ") + textAt(tlf, Config::Tlf::MeasureName),
            tr("Enabled: ") + textAt(tlf, Config::Tlf::Enabled));
    drawRow(tr("Schwellwert 1: ") + textAt(tlf, Config::Tlf::LowThreshold),
            tr("Schwellwert 2: ") + textAt(tlf, Config::Tlf::HighThreshold));
    drawRow(tr("Farbe Bereich 1: ") + colorText(tlf.at(Config::Tlf::LowColor).toInt()),
            tr("Farbe Bereich 2: ") + colorText(tlf.at(Config::Tlf::MiddleColor).toInt()));
    drawRow(tr("Farbe Bereich 3: ") + colorText(tlf.at(Config::Tlf::HighColor).toInt()));
}

// One block per relais: heading, thresholds, one line per state. A block is
// kept on one page when it fits on one; a taller one starts on a fresh page
// and continues its state lines on the following pages.
void convert::renderRelais()
{
    nextLine();
    nextLine();
    for (int t = 0; t < relais.size() && !stopRequested(); ++t) {
        const RelaisConfig &entry = relais.at(t);
        if (entry.size() <= Config::Relais::MeasureName)
            continue; // keeps its number: the next relais is numbered by its place
        const QStringList states = entry.at(Config::Relais::States).toStringList();
        const qint64 height = qint64(LinePitch) * (states.size() + RelaisFixedLines);
        const bool fitsOnPage = TopY + height < BottomLimit;
        if (fitsOnPage)
            ensureSpace(qMax(RelaisMinBlockHeight, int(height)));
        else if (y != TopY)
            startNewPage();

        drawHeading(tr("Relais") + QLatin1Char(' ') + QString::number(t + 1) + QLatin1String(": ")
                    + textAt(entry, Config::Relais::MeasureName));
        int row = y + LinePitch;
        drawLeft(row, tr("Schwellwert 1: ") + textAt(entry, Config::Relais::LowThreshold));
        drawRight(row, tr("Schwellwert 2: ") + textAt(entry, Config::Relais::HighThreshold));
        for (int j = 0; j < states.size(); ++j) {
            row = nextRow(row);
            drawLeft(row, tr("Zustand %1: ").arg(j + 1) + relaisStateText(states.at(j)));
        }
        y = row + BlockGap;
        if (y > BottomLimit) // only after a block taller than a page
            startNewPage();
    }
}
