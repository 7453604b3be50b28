#include "engine/conversionqueue.h"

#include "engine/conversionpool.h"
#include "report/reportlogo.h"
#include "report/reportvolume.h"
#include "system/heapreuse.h"
#include "system/threadhandoff.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>

#include <utility>

namespace {

// Work items queued beyond the running ones, per pool thread: enough that a
// thread never waits for the queue's thread to hand it the next file.
constexpr int QueuedPerThread = 2;

} // namespace

void ConversionQueue::prepareProcess(LogoJpeg logo)
{
    convert::initialise();
    if (logo == LogoJpeg::FromBuild)
        ReportLogo::useBuiltJpeg();
    // Once the start-up's own large blocks (the font configuration's) are
    // gone, and before the first report: the blocks a report needs, up to a
    // few MiB, then stay in the heap for the next report instead of being
    // mapped, zeroed by the kernel and unmapped again for each one.
    keepLargeBuffersInHeap();
}

ConversionQueue::ConversionQueue(QObject *parent)
    : QObject(parent)
    , m_pool(new ConversionPool(this))
{ }

ConversionQueue::~ConversionQueue()
{
    // Whoever listened may be half gone by now.
    blockSignals(true);
    stop();
}

int ConversionQueue::defaultInFlight()
{
    return QThreadPool::globalInstance()->maxThreadCount() * (1 + QueuedPerThread);
}

void ConversionQueue::setStarter(Starter starter)
{
    m_start = std::move(starter);
}

quint64 ConversionQueue::add(ConversionJob job)
{
    job.id = ++m_lastId;
    const quint64 id = job.id;
    if (m_stopped)
        return id;
    m_waiting.enqueue(job);
    ++m_started;
    startQueued();
    return id;
}

void ConversionQueue::add(const QVector<ConversionJob> &jobs)
{
    if (m_stopped)
        return;
    for (ConversionJob job : jobs) {
        job.id = ++m_lastId;
        m_waiting.enqueue(job);
    }
    m_started += int(jobs.size());
    startQueued();
}

bool ConversionQueue::withdraw(quint64 id)
{
    if (!removeWaiting(id)) {
        const auto running = m_running.find(id);
        if (running == m_running.end() || running->withdrawn)
            return false;
        running->withdrawn = true;
        // One that has begun stops at its next step and leaves its report
        // unwritten; its end still frees the report for the next job.
        if (running->task)
            running->task->cancel();
    }
    --m_started;
    tellIfSettled();
    return true;
}

bool ConversionQueue::removeWaiting(quint64 id)
{
    const auto matches = [id](const ConversionJob &job) { return job.id == id; };
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(), matches);
    if (waiting != m_waiting.end()) {
        m_waiting.erase(waiting);
        return true;
    }
    for (auto blocked = m_blocked.begin(); blocked != m_blocked.end(); ++blocked) {
        const auto job = std::find_if(blocked->begin(), blocked->end(), matches);
        if (job != blocked->end()) {
            blocked->erase(job);
            if (blocked->isEmpty())
                m_blocked.erase(blocked);
            return true;
        }
    }
    return false;
}

void ConversionQueue::dropQueued()
{
    int dropped = m_waiting.size();
    for (const QQueue<ConversionJob> &blocked : qAsConst(m_blocked))
        dropped += blocked.size();
    m_waiting.clear();
    m_blocked.clear();
    m_started -= dropped;
    if (isSettled())
        settleLater();
}

void ConversionQueue::stop()
{
    m_stopped = true;
    // Those never begun stay counted: ended they are not.
    m_waiting.clear();
    m_blocked.clear();
    // With nothing of its own in the pool, the pool's other work (another
    // queue's) is none of its business.
    const bool running = !m_running.isEmpty();
    if (running) {
        QThreadPool::globalInstance()->clear();
        QThreadPool::globalInstance()->waitForDone();
        // How the running ones ended, before their tasks go: a report
        // finished in the last moment is told like any other.
        QCoreApplication::sendPostedEvents(this);
    }
    // What is left was dropped unbegun; its tasks go with the pool's.
    m_pool->stopAll(running);
    m_running.clear();
    m_writers.clear();
    m_itemsInFlight = 0;
}

void ConversionQueue::cancelRunning()
{
    for (const Running &running : qAsConst(m_running)) {
        if (running.task)
            running.task->cancel();
    }
}

void ConversionQueue::settleLater()
{
    QMetaObject::invokeMethod(
            this, [this] { tellIfSettled(); }, Qt::QueuedConnection);
}

void ConversionQueue::startQueued()
{
    while (!m_stopped && !m_waiting.isEmpty()
           && (m_maxInFlight <= 0 || m_itemsInFlight < m_maxInFlight))
        startNext();
}

void ConversionQueue::startNext()
{
    const ConversionJob job = m_waiting.dequeue();
    if (!job.refusal.isEmpty()) {
        refuse(job);
        return;
    }
    if (!job.volume) {
        const QString identity = reportIdentity(job.target);
        if (m_writers.contains(identity))
            m_blocked[identity].enqueue(job);
        else
            launch({job}, identity);
        return;
    }
    QVector<ConversionJob> item {job};
    while (!m_waiting.isEmpty() && m_waiting.head().volume == job.volume
           && m_waiting.head().refusal.isEmpty())
        item.append(m_waiting.dequeue());
    launch(item, QString());
}

void ConversionQueue::launch(const QVector<ConversionJob> &item, const QString &identity)
{
    ++m_itemsInFlight;
    const auto itemLeft = std::make_shared<int>(int(item.size()));
    QVector<convert::Conversion> conversions;
    for (const ConversionJob &job : item) {
        convert *task = makeTask(job);
        m_running.insert(job.id, {job, identity, task, QString(), itemLeft, false});
        conversions.append({task, job.source, job.target});
        m_pool->adopt(task);
    }
    if (!identity.isEmpty())
        m_writers.insert(identity, item.first().id);
    std::function<void()> afterwards;
    if (const std::shared_ptr<ReportVolume> volume = item.first().volume)
        afterwards = [volume] { volume->close(); };
    if (m_start)
        m_start(conversions, afterwards);
    else
        convert::startInOrder(conversions, afterwards);
}

convert *ConversionQueue::makeTask(const ConversionJob &job)
{
    auto *task = new convert;
    task->setArchival(m_archival);
    task->setVolume(job.volume);
    const quint64 id = job.id;
    connect(task, &convert::newPbarValue, this, [this, id](int step) {
        const auto running = m_running.constFind(id);
        if (running != m_running.constEnd() && !running->withdrawn)
            emit progressed(id, step);
    });
    connect(task, &convert::warned, this, [this, id](const QString &warning) {
        const auto running = m_running.constFind(id);
        if (running != m_running.constEnd() && !running->withdrawn)
            emit jobWarned(running->job, warning);
    });
    connect(task, &convert::abortReason, this, [this, id](const QString &reason) {
        const auto running = m_running.find(id);
        if (running != m_running.end())
            running->reason = reason;
    });
    // Taken on the task's thread as it ends: the task may be gone by the
    // time its end arrives here.
    const auto records = std::make_shared<QPair<ConfigRecord, ConfigRecord>>();
    connect(
            task, &convert::finished, task,
            [task, records] {
                *records = {task->general, task->service};
                ThreadHandOff::release(records.get());
            },
            Qt::DirectConnection);
    connect(task, &convert::finished, this, [this, id, records] {
        ThreadHandOff::acquire(records.get());
        taskEnded(id, true, records->first, records->second);
    });
    connect(task, &convert::aborted, this, [this, id] { taskEnded(id, false, {}, {}); });
    return task;
}

void ConversionQueue::refuse(const ConversionJob &job)
{
    ++m_itemsInFlight;
    // Told from the event loop, like a task's end, so that nothing is
    // told from inside add().
    QMetaObject::invokeMethod(
            this,
            [this, job] {
                --m_itemsInFlight;
                if (m_stopped)
                    return;
                emit jobFailed(job, job.refusal);
                count(job, false);
            },
            Qt::QueuedConnection);
}

void ConversionQueue::taskEnded(quint64 id, bool converted, const QVector<QVariant> &general,
                                const QVector<QVariant> &service)
{
    const auto found = m_running.find(id);
    if (found == m_running.end())
        return;
    const Running running = found.value();
    m_running.erase(found);
    release(running);
    const ConversionJob &job = running.job;
    if (running.withdrawn) {
        startQueued();
    } else if (!converted && holdBack(job)) {
        --m_started;
        emit failureHeld(job);
        afterEnd();
    } else {
        if (converted)
            emit reportWritten(job, general, service);
        else
            emit jobFailed(job, running.reason);
        count(job, converted);
    }
}

void ConversionQueue::count(const ConversionJob &job, bool converted)
{
    ++m_ended;
    if (converted)
        ++m_converted;
    else
        ++m_failed;
    emit jobEnded(job, converted);
    afterEnd();
}

void ConversionQueue::afterEnd()
{
    startQueued();
    tellIfSettled();
}

void ConversionQueue::tellIfSettled()
{
    if (isSettled() && !m_stopped)
        emit settled();
}

bool ConversionQueue::holdBack(const ConversionJob &job)
{
    return m_holdYoungMs > 0 && !m_stopped
           && changedWithin(QFileInfo(job.source).lastModified(), m_holdYoungMs);
}

// The work item's slot and the report are free once its task has ended;
// the next job waiting for that report goes first.
void ConversionQueue::release(const Running &running)
{
    if (--*running.itemLeft == 0)
        --m_itemsInFlight;
    if (running.identity.isEmpty() || m_writers.value(running.identity) != running.job.id)
        return;
    m_writers.remove(running.identity);
    const auto blocked = m_blocked.find(running.identity);
    if (blocked == m_blocked.end())
        return;
    m_waiting.prepend(blocked->dequeue());
    if (blocked->isEmpty())
        m_blocked.erase(blocked);
}

QString ConversionQueue::reportIdentity(const QString &path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString folder = info.absolutePath();
    QString missing = info.fileName();
    while (!QFileInfo::exists(folder)) {
        const QFileInfo step(folder);
        if (step.isRoot())
            break;
        missing.prepend(step.fileName() + QLatin1Char('/'));
        folder = step.absolutePath();
    }
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    return QDir(resolved.isEmpty() ? folder : resolved).filePath(missing);
}

bool ConversionQueue::changedWithin(const QDateTime &modified, int ms)
{
    // Both ways: a share's clock may run a little ahead of ours.
    return modified.isValid() && qAbs(modified.msecsTo(QDateTime::currentDateTime())) < ms;
}
