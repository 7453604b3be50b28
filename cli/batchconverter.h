#pragma once

#include "cli/console.h"
#include "cli/joblist.h"

#include <QObject>
#include <QQueue>
#include <QVariant>
#include <QVector>

#include <memory>

class ConversionPool;
class convert;
QT_BEGIN_NAMESPACE
class QDateTime;
QT_END_NAMESPACE

// Runs the jobs on the global thread pool through the same conversion task
// the window runs, a few more at a time than the pool has threads, so the
// pool stays busy without every task existing at once.
class BatchConverter : public QObject
{
    Q_OBJECT

public:
    explicit BatchConverter(const ConsoleOptions &console, QObject *parent = nullptr);

    // PDF/A-1b reports.
    void setArchival(bool archival) { m_archival = archival; }

    // Starts the jobs; done() follows when the last one has ended.
    void start(const QVector<ConversionJob> &jobs);
    // Queues one more job behind those already given.
    void add(const ConversionJob &job);
    // Drops the jobs not yet begun; done() follows once the running ones end.
    void dropQueued();
    // A conversion that fails while its file is young (changed less than ms
    // ago, a writer may not be done with it) is held back: neither printed
    // nor counted, failureHeld() tells of it instead of jobEnded().
    void holdYoungFailures(int ms) { m_holdYoungMs = ms; }
    // Starts no further job and drops those queued here and in the pool,
    // waits for the running ones and reports how they ended. done() is not
    // emitted.
    void stop();

    // Whether a file or folder changed less than ms ago.
    static bool changedWithin(const QDateTime &modified, int ms);

    int failedCount() const { return m_failed; }
    int convertedCount() const { return m_converted; }
    // After stop(): the jobs that never began.
    int notStartedCount() const { return m_total - m_ended; }

signals:
    void jobEnded(const ConversionJob &job, bool converted);
    void failureHeld(const ConversionJob &job);
    // Right before jobEnded(): the report is written from a configuration
    // whose general settings are these; or the job failed for this reason.
    void reportWritten(const ConversionJob &job, const QVector<QVariant> &general);
    void jobFailed(const ConversionJob &job, const QString &reason);
    // Every job given so far has ended.
    void done();

private:
    void startQueued();
    void startNext();
    // The jobs of a work item left to end; the item is done at none.
    using ItemLeft = std::shared_ptr<int>;
    convert *makeTask(const ConversionJob &job, const ItemLeft &itemLeft);
    enum class Outcome { Converted, Failed, Held };
    void taskFailed(const ConversionJob &job, const QString &reason, const ItemLeft &itemLeft);
    void endJob(const ConversionJob &job, Outcome outcome, const ItemLeft &itemLeft = {});
    void finishIfIdle();

    ConversionPool *m_conversions;
    ConsoleOptions m_console;
    bool m_archival = false;
    QQueue<ConversionJob> m_queue;
    int m_total = 0;
    int m_running = 0; // work items begun and not ended
    bool m_stopped = false;
    int m_ended = 0;
    int m_converted = 0;
    int m_failed = 0;
    int m_holdYoungMs = 0;
};
