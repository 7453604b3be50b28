#pragma once

#include <QObject>
#include <QString>
#include <QVector>

// Runs one conversion task per file on the global thread pool, the same task
// the window runs, and reports each result as it arrives.
class BatchConverter : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        QString source; // absolute path of the configuration file
        QString target; // the PDF to write
    };

    explicit BatchConverter(QObject *parent = nullptr);

    // Queues every job; done() follows when the last one has ended.
    void start(const QVector<Job> &jobs);

    int failedCount() const { return m_failed; }
    int convertedCount() const { return m_converted; }

signals:
    void done();

private:
    void startJob(const Job &job);
    void jobEnded();

    int m_pending = 0;
    int m_converted = 0;
    int m_failed = 0;
};
