#pragma once

#include "cli/console.h"
#include "cli/joblist.h"

#include <QObject>
#include <QVariant>
#include <QVector>

class ConversionQueue;

// Runs the converter's jobs through the conversion queue the window uses
// too, a few more at a time than the pool has threads, and prints what
// becomes of each: the report written, the reason it failed, the progress.
class BatchConverter : public QObject
{
    Q_OBJECT

public:
    explicit BatchConverter(const ConsoleOptions &console, QObject *parent = nullptr);

    // PDF/A-1b reports.
    void setArchival(bool archival);

    // Starts the jobs; done() follows when the last one has ended.
    void start(const QVector<ConversionJob> &jobs);
    // Queues one more job behind those already given.
    void add(const ConversionJob &job);
    // Drops the jobs not yet begun; done() follows once the running ones end.
    void dropQueued();
    // A conversion that fails while its file is young (changed less than ms
    // ago, a writer may not be done with it) is held back: neither printed
    // nor counted, failureHeld() tells of it instead of jobEnded().
    void holdYoungFailures(int ms);
    // Starts no further job and drops those queued, waits for the running
    // ones and reports how they ended. done() is not emitted.
    void stop();

    int failedCount() const;
    int convertedCount() const;
    // After stop(): the jobs that never began.
    int notStartedCount() const;

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
    void tellFailure(const ConversionJob &job, const QString &reason);
    void tellEnd(const ConversionJob &job, bool converted);

    ConversionQueue *m_queue;
    ConsoleOptions m_console;
};
