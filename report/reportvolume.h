#pragma once

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>

QT_BEGIN_NAMESPACE
class QPainter;
class QPdfWriter;
QT_END_NAMESPACE

// One PDF that the reports of several conversions are drawn into, one after
// the other, each from a new page. A combined document draws its devices
// into a few volumes instead of a file each: every PDF embeds the subsets of
// its fonts and its logo once, which is most of what a single report costs.
//
// A volume is drawn on one thread: the conversions that share it run one
// after the other on the same pool thread, which then closes it. The fonts
// Qt draws with belong to that thread, so no other thread may end the
// writer. The placements and the outcome are read on any thread once
// waitUntilClosed() has returned.
class ReportVolume
{
    Q_DECLARE_TR_FUNCTIONS(ReportVolume)

public:
    struct Placement
    {
        int firstPage = -1; // from 0; -1 when the report is not in the volume
        int pageCount = 0;
    };

    ReportVolume(const QString &path, bool archival);
    ~ReportVolume();

    QString path() const { return m_path; }

    // Opens the volume at the first report and turns to a new page for every
    // further one. False, with the reason, when the PDF cannot be opened.
    bool beginReport(QString *reason);
    QPainter *painter() const { return m_painter.get(); }
    QPdfWriter *writer() const { return m_writer.get(); }
    // The report drawn since beginReport() took pageCount pages; it is
    // placed under key, or left unnamed (an interrupted one) when key is empty.
    void endReport(const QString &key, int pageCount);

    // Ends the PDF; every report drawn into it is then complete. Called once,
    // on the drawing thread, also when nothing was drawn.
    void close();
    // Waits until close() has run; false, with the reason, when the volume
    // could not be completed.
    bool waitUntilClosed(QString *reason);
    // Where the report named key lies; valid after waitUntilClosed().
    Placement placementOf(const QString &key) const;

private:
    Q_DISABLE_COPY(ReportVolume)

    QString m_path;
    bool m_archival;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    int m_pageCount = 0; // the page being drawn on included
    int m_firstPage = 0; // of the report being drawn

    // The standard library's, not Qt's: a ThreadSanitizer build sees these.
    mutable std::mutex m_mutex;
    std::condition_variable m_closedCondition;
    bool m_closed = false;
    QString m_failure;
    QHash<QString, Placement> m_placements;
};
