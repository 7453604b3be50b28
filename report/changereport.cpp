#include "report/changereport.h"

#include "engine/convert.h"
#include "report/documenttitle.h"
#include "report/reportvolume.h"
#include "system/filenames.h"
#include "system/reportpaths.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

using namespace Layout;

namespace {

// The list of changes: four columns across the text area, in the path's
// font, a value too long for its column wrapped onto further lines.
constexpr int ListPixelSize = PathPixelSize;
constexpr int ListPitch = BoxHeight;
constexpr int ColumnGap = 50;
constexpr int SectionX = LeftX;
constexpr int SectionWidth = 2150;
constexpr int LabelX = SectionX + SectionWidth + ColumnGap;
constexpr int LabelWidth = RightX - ColumnGap - LabelX;
// The values share the report's right column.
constexpr int BeforeX = RightX;
constexpr int ValueWidth = (RightEdge - RightX - ColumnGap) / 2;
constexpr int AfterX = BeforeX + ValueWidth + ColumnGap;
constexpr int MaxCellLines = 4; // a longer value ends in "…"
constexpr int ListGapLines = 2; // from the last file's line to the list
// A name or date is measured only this far: what follows would not show.
constexpr int MaxMeasuredCharacters = 200;

struct Column
{
    int x;
    int width;
};
const Column Columns[] = {{SectionX, SectionWidth},
                          {LabelX, LabelWidth},
                          {BeforeX, ValueWidth},
                          {AfterX, ValueWidth}};

} // namespace

bool ChangeReport::load(const QString &before, const QString &after, QString *reason)
{
    QString beforeReason;
    QString afterReason;
    const bool beforeRead = m_before.load(before, &beforeReason);
    const bool afterRead = m_after.load(after, &afterReason);
    if (!beforeRead || !afterRead) {
        QStringList reasons;
        if (!beforeRead)
            reasons << beforeReason;
        if (!afterRead)
            reasons << afterReason;
        *reason = reasons.join(QLatin1Char(' '));
        return false;
    }
    m_changes = compareConfigurations(m_before, m_after);
    m_count = ::changeCount(m_changes);
    return true;
}

void ChangeReport::setArchival(bool archival)
{
    m_page.setArchival(archival);
    m_after.task().setArchival(archival);
}

QStringList ChangeReport::warnings() const
{
    QStringList warnings {m_before.warning(), m_after.warning()};
    warnings.removeAll(QString());
    return warnings;
}

QString ChangeReport::deviceName() const
{
    if (!m_after.name().trimmed().isEmpty())
        return m_after.name();
    QString name = FileNames::forDisplay(QFileInfo(m_after.path()).fileName());
    if (name.endsWith(ReportPaths::JsonSuffix))
        name.chop(ReportPaths::JsonSuffix.size());
    return name;
}

bool ChangeReport::writeFile(const QString &target, QString *reason)
{
    // A name of megabytes is cut anyway: not copied whole first.
    const QString name = deviceName().left(DocumentTitle::MaxCharacters);
    const QString title = DocumentTitle::fromName(tr("Änderungsprotokoll %1").arg(name));
    if (!m_page.openFile(target, title, reason))
        return false;
    drawPages();
    return m_page.finishFile(reason, [this, &target](QString *why) {
        if (!m_after.task().stopRequested())
            return true;
        *why = tr("Das Änderungsprotokoll %1 wurde nicht geschrieben: der Vergleich wurde "
                  "abgebrochen.")
                       .arg(target);
        return false;
    });
}

bool ChangeReport::draw(ReportVolume &volume, const QString &key, QString *reason)
{
    if (!volume.beginReport(reason))
        return false;
    const int pages = drawOn(volume.painter(), volume.writer());
    const bool whole = !m_after.task().stopRequested();
    if (!whole)
        *reason = tr("Das Änderungsprotokoll für %1 wurde nicht gezeichnet: der Vergleich wurde "
                     "abgebrochen.")
                          .arg(m_after.path());
    volume.endReport(whole ? key : QString(), pages);
    return whole;
}

int ChangeReport::drawOn(QPainter *painter, QPdfWriter *writer)
{
    m_page.drawOn(painter, writer);
    const int pages = drawPages();
    m_page.stopDrawing();
    return pages;
}

int ChangeReport::drawPages()
{
    const QString count = m_count == 1 ? tr("1 Änderung") : tr("%1 Änderungen").arg(m_count);
    m_page.drawTitle(tr("Änderungsprotokoll\n") + count, QString());
    drawFiles();
    drawChanges();
    // The later state's report from a page of its own.
    const int ownPages = m_page.pagesDrawn();
    QPainter *painter = m_page.painter();
    QPdfWriter *writer = m_page.writer();
    writer->newPage();
    return ownPages
           + m_after.task().drawOn(painter, writer,
                                   changedLines(m_changes, int(m_after.printed().size())));
}

void ChangeReport::drawFiles()
{
    m_page.painter()->setFont(m_page.bodyFont());
    const int row = m_page.cursor();
    m_page.drawBox(LeftX, row, FullWidth, tr("Gerät: ") + deviceName());
    m_page.drawBox(LeftX, row + LinePitch, FullWidth, fileLine(tr("Vorher: "), m_before));
    m_page.drawBox(LeftX, row + 2 * LinePitch, FullWidth, fileLine(tr("Nachher: "), m_after));
    m_page.cursor() = row + (2 + ListGapLines) * LinePitch;
}

// "Vorher: PFAD (DATUM)", the path shortened at the left to what fits.
QString ChangeReport::fileLine(const QString &label, const ComparedConfiguration &side) const
{
    const QString date = side.date().left(MaxMeasuredCharacters);
    const QString dated = date.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(date);
    const QFontMetrics metrics(m_page.painter()->font());
    const int room = FullWidth - metrics.horizontalAdvance(label + dated);
    return label
           + metrics.elidedText(FileNames::forDisplay(side.path()), Qt::ElideLeft,
                                std::max(0, room))
           + dated;
}

void ChangeReport::drawChanges()
{
    if (m_changes.isEmpty()) {
        m_page.drawBox(LeftX, m_page.cursor(), FullWidth, tr("Keine Änderungen"));
        return;
    }
    drawListHeader();
    m_page.painter()->setFont(PageWriter::reportFont(ListPixelSize));
    for (const ConfigChange &change : m_changes)
        drawChange(change);
}

void ChangeReport::drawListHeader()
{
    QPainter *painter = m_page.painter();
    const QFont font = painter->font();
    painter->setFont(PageWriter::reportFont(ListPixelSize, QFont::Bold));
    const QString titles[] = {tr("Abschnitt"), tr("Feld"), tr("Vorher"), tr("Nachher")};
    for (int column = 0; column < 4; ++column)
        m_page.drawBox(Columns[column].x, m_page.cursor(), Columns[column].width, titles[column]);
    painter->setFont(font);
    m_page.cursor() += ListPitch;
}

// One line of the list; a value too long for its column takes more lines,
// all on one page.
void ChangeReport::drawChange(const ConfigChange &change)
{
    const QString texts[] = {change.section, change.label, change.before, change.after};
    QStringList cells[4];
    int lines = 1;
    for (int column = 0; column < 4; ++column) {
        cells[column] = m_page.wrappedLines(texts[column], Columns[column].width, MaxCellLines);
        lines = std::max(lines, int(cells[column].size()));
    }
    const int pagesBefore = m_page.pagesDrawn();
    m_page.ensureSpace(lines * ListPitch);
    if (m_page.pagesDrawn() != pagesBefore)
        drawListHeader();
    const int row = m_page.cursor();
    for (int column = 0; column < 4; ++column) {
        for (int line = 0; line < cells[column].size(); ++line)
            m_page.drawBox(Columns[column].x, row + line * ListPitch, Columns[column].width,
                           cells[column].at(line));
    }
    m_page.cursor() = row + lines * ListPitch;
}

ChangeReportOutcome writeChangeReport(const ChangeReportJob &job, bool archival)
{
    ChangeReportOutcome outcome;
    ChangeReport report;
    report.setArchival(archival);
    if (!report.load(job.before, job.after, &outcome.reason))
        return outcome;
    outcome.warnings = report.warnings();
    outcome.changes = report.changeCount();
    QString reason;
    outcome.written = report.writeFile(job.target, &reason);
    if (!outcome.written)
        outcome.reason = ChangeReport::tr("Die Dateien %1 und %2 wurden nicht verglichen. %3")
                                 .arg(job.before, job.after, reason);
    return outcome;
}
