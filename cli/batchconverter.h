#pragma once

#include "cli/joblist.h"

#include <QObject>
#include <QQueue>
#include <QVector>

// Runs the jobs on the global thread pool through the same conversion task
// the window runs, a few more at a time than the pool has threads, so the
// pool stays busy without every task existing at once.
class BatchConverter : public QObject
{
    Q_OBJECT

public:
    struct Output
    {
        bool listReports = true; // each written report's path on stdout
        bool showProgress = false; // "[k/N] name" on stderr
        bool archival = false; // PDF/A-1b reports
    };

    explicit BatchConverter(const Output &output, QObject *parent = nullptr);

    // Starts the jobs; done() follows when the last one has ended.
    void start(const QVector<ConversionJob> &jobs);
    // Queues one more job behind those already given.
    void add(const ConversionJob &job);
    // Drops the jobs not yet begun; done() follows once the running ones end.
    void dropQueued();

    int failedCount() const { return m_failed; }
    int convertedCount() const { return m_converted; }

signals:
    void jobEnded(const ConversionJob &job, bool converted);
    // Every job given so far has ended.
    void done();

private:
    void startQueued();
    void startNext();
    void endJob(const ConversionJob &job, bool converted);

    Output m_output;
    QQueue<ConversionJob> m_queue;
    int m_total = 0;
    int m_running = 0;
    int m_ended = 0;
    int m_converted = 0;
    int m_failed = 0;
};
