#pragma once

#include "report/configchanges.h"
#include "report/pagewriter.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

QT_BEGIN_NAMESPACE
class QPainter;
class QPdfWriter;
QT_END_NAMESPACE
class ReportVolume;

// The change report of a device serviced: its configuration as found and as
// left. The report's title block headed "Änderungsprotokoll" with both
// files, one line per changed value, then, from a new page, the report of
// the later state exactly as its single report, each line whose value
// changed marked in the margin. A document of its own: it owns its page
// writer and writes a file, or draws into a volume someone else opened.
class ChangeReport
{
    Q_DECLARE_TR_FUNCTIONS(ChangeReport)

public:
    // Reads both files as conversions read them and compares them. False,
    // with the reasons, when either is refused.
    bool load(const QString &before, const QString &after, QString *reason);

    // PDF/A-1b, titled "Änderungsprotokoll" and the device's name.
    void setArchival(bool archival);

    const QVector<ConfigChange> &changes() const { return m_changes; }
    int changeCount() const { return m_count; }
    // What the single reports of the two files would be warned of.
    QStringList warnings() const;
    // The device's name: the later state's, else its file's name.
    QString deviceName() const;
    // The task that read the later state: its document, for a site
    // document's contents and dates.
    const convert &later() const { return m_after.task(); }

    // Writes the report at target, complete or not at all (as a report is
    // written); false, with the reason.
    bool writeFile(const QString &target, QString *reason);
    // Draws the report into volume from its next page and names it key
    // there; false, with the reason, when the volume cannot be begun.
    bool draw(ReportVolume &volume, const QString &key, QString *reason);
    // Draws the report from the current page of pages opened elsewhere;
    // the number of pages it drew on.
    int drawOn(QPainter *painter, QPdfWriter *writer);

private:
    // Its own pages, then the later state's report; the pages drawn on.
    int drawPages();
    void drawFiles();
    void drawChanges();
    void drawListHeader();
    void drawChange(const ConfigChange &change);
    QString fileLine(const QString &label, const ComparedConfiguration &side) const;

    PageWriter m_page;
    ComparedConfiguration m_before;
    ComparedConfiguration m_after;
    QVector<ConfigChange> m_changes;
    int m_count = 0;
};

// A change report asked for: the configuration as found, as left, and the
// PDF it becomes.
struct ChangeReportJob
{
    QString before;
    QString after;
    QString target;
};

// What became of one.
struct ChangeReportOutcome
{
    bool written = false;
    int changes = 0;
    QString reason; // why it was not written
    QStringList warnings;
};

// Reads, compares and writes one change report on this thread.
ChangeReportOutcome writeChangeReport(const ChangeReportJob &job, bool archival);
