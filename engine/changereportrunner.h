#pragma once

#include "report/changereport.h"

#include <QObject>

#include <functional>
#include <memory>

// Change reports written on Qt's global thread pool, one work item each, as
// conversions are, for the window and the converter alike. It owns what it
// started: stop() and its destruction wait for the running ones, so none
// outlives it. Widget-free; tells of each on the thread that made it.
class ChangeReportRunner : public QObject
{
    Q_OBJECT

public:
    // Hands work to a thread. Replaceable, so that tests decide where and
    // when it runs; work that is dropped unrun counts as not begun.
    using Starter = std::function<void(const std::function<void()> &work)>;

    explicit ChangeReportRunner(QObject *parent = nullptr);
    // Waits for the change reports still running.
    ~ChangeReportRunner() override;

    // PDF/A-1b change reports.
    void setArchival(bool archival) { m_archival = archival; }
    void setStarter(Starter starter);

    void start(const ChangeReportJob &job);
    // Drops what has not begun (of the whole pool, as a stop of the program
    // does), waits for the running ones and tells how all ended.
    void stop();

    int writtenCount() const { return m_written; }
    int failedCount() const { return m_failed; }
    int droppedCount() const { return m_dropped; }
    // Started and not yet told of.
    int pendingCount() const { return m_pending; }

signals:
    // Written or failed; one dropped unbegun is only counted.
    void ended(const ChangeReportJob &job, const ChangeReportOutcome &outcome);
    // Every change report started has ended.
    void settled();

private:
    struct Running;
    void waitForAll();
    void tell(const ChangeReportJob &job, const ChangeReportOutcome &outcome, bool dropped);

    bool m_archival = false;
    Starter m_start;
    std::shared_ptr<Running> m_running;
    int m_pending = 0;
    int m_written = 0;
    int m_failed = 0;
    int m_dropped = 0;
};

// For receivers on other threads, and signal spies.
Q_DECLARE_METATYPE(ChangeReportJob)
Q_DECLARE_METATYPE(ChangeReportOutcome)
