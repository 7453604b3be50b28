#pragma once

#include "engine/convert.h"

#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QDateTime;
QT_END_NAMESPACE
class ConversionPool;
class ReportVolume;

// One conversion asked for: a configuration file and the report it becomes.
struct ConversionJob
{
    QString source; // absolute path of the configuration file
    QString target; // path of the PDF to write
    QString refusal; // why the job is not run; empty when it is
    // Drawn into this volume instead of a file at target, which then only
    // names it there; the jobs queued next to it that share the volume run
    // with it, in order, on one thread.
    std::shared_ptr<ReportVolume> volume;
    quint64 id = 0; // given by ConversionQueue::add(), from 1
};

// What runs, in what order and how many ended, for every front-end: the
// window's rows, the converter's batch and watch, a site document. Jobs run
// as conversion tasks on Qt's global thread pool; a job waits while an
// earlier task may still write the same report, and the jobs of one volume
// run as one work item. The queue counts the jobs given, ended, written and
// failed, and says when all have settled. Widget-free; lives on the thread
// that made it.
class ConversionQueue : public QObject
{
    Q_OBJECT

public:
    // Hands a work item to the pool: the tasks in order, then afterwards
    // (may be empty), as convert::startInOrder() does. Replaceable, so that
    // tests decide when tasks run.
    using Starter = std::function<void(const QVector<convert::Conversion> &conversions,
                                       const std::function<void()> &afterwards)>;

    // The report logo's JPEG: from Qt's image plugins, or the build's, for a
    // program that loads no image plugin from disk (ReportLogo::useBuiltJpeg).
    enum class LogoJpeg { FromPlugins, FromBuild };
    // Once per process, on the main thread after the application object
    // exists and before the first conversion: the state conversions share
    // (convert::initialise()), the logo's JPEG, then the heap kept for the
    // next report.
    static void prepareProcess(LogoJpeg logo);

    explicit ConversionQueue(QObject *parent = nullptr);
    // stop(): nothing the queue started outlives it.
    ~ConversionQueue() override;

    // PDF/A-1b reports.
    void setArchival(bool archival) { m_archival = archival; }
    // At most this many work items in the pool at once (0: no limit), so
    // that a long batch does not make every task at once.
    void setMaxInFlight(int items) { m_maxInFlight = items; }
    // A few more than the pool has threads: no thread waits for the next.
    static int defaultInFlight();
    void setStarter(Starter starter);
    // A failure of a file changed less than ms ago is held back: neither
    // counted nor told as failed; failureHeld() tells of it instead.
    void holdYoungFailures(int ms) { m_holdYoungMs = ms; }

    // Queues job behind those given before; returns the number it is known
    // by from now on.
    quint64 add(ConversionJob job);
    void add(const QVector<ConversionJob> &jobs);
    // The job is no longer wanted: dropped if it waits, cancelled if it runs
    // (its report is not written). It is no longer counted and nothing more
    // is told of it; the next job for its report still waits for its end.
    // False for a job that has ended or is unknown.
    bool withdraw(quint64 id);
    // Drops the jobs that have not begun, uncounted.
    void dropQueued();
    // Starts nothing more, drops the jobs waiting, waits for the running
    // ones and tells how they ended. Call on the queue's thread.
    void stop();
    // Asks the running tasks to end at their next step, writing nothing
    // (before a stop() that need not wait for whole reports).
    void cancelRunning();

    int startedCount() const { return m_started; } // counted: given, not withdrawn or held
    int endedCount() const { return m_ended; }
    int convertedCount() const { return m_converted; }
    int failedCount() const { return m_failed; }
    // Every job counted has ended.
    bool isSettled() const { return m_ended == m_started; }

    // The file a path names, whatever way it was reached: its folder with
    // links and ".." resolved (as far as the folder exists), and its own
    // name. Two paths name the same report when these are equal.
    static QString reportIdentity(const QString &path);
    // Whether a file or folder changed less than ms ago.
    static bool changedWithin(const QDateTime &modified, int ms);

signals:
    void progressed(quint64 id, int step);
    // Right before jobEnded(): the report is written from a configuration
    // whose general settings and service dates are these; or the job failed
    // for this reason.
    void reportWritten(const ConversionJob &job, const QVector<QVariant> &general,
                       const QVector<QVariant> &service);
    void jobFailed(const ConversionJob &job, const QString &reason);
    // Right before reportWritten(): the report is written, but the task
    // warns of it (convert::warned()).
    void jobWarned(const ConversionJob &job, const QString &warning);
    void jobEnded(const ConversionJob &job, bool converted);
    void failureHeld(const ConversionJob &job);
    // Every job counted has ended (also after a withdrawal or a drop).
    void settled();

private:
    // A job handed to the pool, until its task has ended.
    struct Running
    {
        ConversionJob job;
        QString identity; // of the report it writes; empty in a volume
        convert *task = nullptr;
        QString reason;
        std::shared_ptr<int> itemLeft; // jobs of its work item not ended
        bool withdrawn = false;
    };

    void startQueued();
    void startNext();
    void launch(const QVector<ConversionJob> &item, const QString &identity);
    convert *makeTask(const ConversionJob &job);
    void refuse(const ConversionJob &job);
    void taskEnded(quint64 id, bool converted, const QVector<QVariant> &general,
                   const QVector<QVariant> &service);
    void release(const Running &running);
    void count(const ConversionJob &job, bool converted);
    void afterEnd();
    void tellIfSettled();
    bool holdBack(const ConversionJob &job);
    bool removeWaiting(quint64 id);
    void settleLater();

    ConversionPool *m_pool;
    Starter m_start;
    bool m_archival = false;
    int m_maxInFlight = 0;
    int m_holdYoungMs = 0;
    bool m_stopped = false;
    quint64 m_lastId = 0;
    QQueue<ConversionJob> m_waiting;
    // Jobs whose report an earlier task may still write, by that report.
    QHash<QString, QQueue<ConversionJob>> m_blocked;
    QHash<QString, quint64> m_writers; // a report -> the job writing it
    QHash<quint64, Running> m_running;
    int m_itemsInFlight = 0;
    int m_started = 0;
    int m_ended = 0;
    int m_converted = 0;
    int m_failed = 0;
};
