#include "cli/batchconverter.h"

#include "engine/conversionpool.h"
#include "engine/convert.h"
#include "report/reportvolume.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <memory>

namespace {

// Work items queued beyond the running ones, per pool thread: enough that a
// thread never waits for the GUI thread to hand it the next file.
constexpr int QueuedPerThread = 2;

} // namespace

BatchConverter::BatchConverter(const ConsoleOptions &console, QObject *parent)
    : QObject(parent)
    , m_conversions(new ConversionPool(this))
    , m_console(console)
{ }

void BatchConverter::start(const QVector<ConversionJob> &jobs)
{
    if (m_stopped)
        return;
    if (jobs.isEmpty() && m_running == 0 && m_queue.isEmpty()) {
        QMetaObject::invokeMethod(this, &BatchConverter::done, Qt::QueuedConnection);
        return;
    }
    for (const ConversionJob &job : jobs)
        m_queue.enqueue(job);
    m_total += jobs.size();
    startQueued();
}

void BatchConverter::add(const ConversionJob &job)
{
    start({job});
}

void BatchConverter::dropQueued()
{
    m_total -= m_queue.size();
    m_queue.clear();
    if (m_running == 0)
        QMetaObject::invokeMethod(this, &BatchConverter::done, Qt::QueuedConnection);
}

void BatchConverter::startQueued()
{
    const int inFlight = QThreadPool::globalInstance()->maxThreadCount() * (1 + QueuedPerThread);
    while (!m_stopped && !m_queue.isEmpty() && m_running < inFlight)
        startNext();
}

void BatchConverter::stop()
{
    m_stopped = true;
    m_queue.clear();
    m_conversions->stopAll();
    // Deliver how the running ones ended: a report finished in the last
    // moment is listed like any other.
    QCoreApplication::sendPostedEvents(this);
}

void BatchConverter::startNext()
{
    const ConversionJob job = m_queue.dequeue();
    ++m_running;
    if (!job.refusal.isEmpty()) {
        Console::printError(job.refusal);
        emit jobFailed(job, job.refusal);
        // Reported from the event loop, like a task's end, so done() never
        // comes from inside start().
        QMetaObject::invokeMethod(
                this, [this, job] { endJob(job, Outcome::Failed); }, Qt::QueuedConnection);
        return;
    }
    QVector<ConversionJob> item {job};
    while (job.volume && !m_queue.isEmpty() && m_queue.head().volume == job.volume
           && m_queue.head().refusal.isEmpty())
        item.append(m_queue.dequeue());
    const auto itemLeft = std::make_shared<int>(int(item.size()));
    QVector<convert::Conversion> conversions;
    for (const ConversionJob &each : qAsConst(item))
        conversions.append({makeTask(each, itemLeft), each.source, each.target});
    std::function<void()> afterwards;
    if (job.volume)
        afterwards = [volume = job.volume] { volume->close(); };
    m_conversions->start(conversions, afterwards);
}

convert *BatchConverter::makeTask(const ConversionJob &job, const ItemLeft &itemLeft)
{
    auto *task = new convert;
    task->setArchival(m_archival);
    task->setVolume(job.volume);
    // The reason comes just before aborted(); whether it is told is decided
    // with the end. The task's deferred delete is posted after its final
    // signal, so its document can still be read here, unless stop() has
    // collected it.
    auto reason = std::make_shared<QString>();
    const QPointer<convert> written(task);
    connect(task, &convert::finished, this, [this, job, written, itemLeft] {
        emit reportWritten(job, written ? written->general : ConfigRecord());
        endJob(job, Outcome::Converted, itemLeft);
    });
    connect(task, &convert::abortReason, this, [reason](const QString &text) { *reason = text; });
    connect(task, &convert::aborted, this,
            [this, job, reason, itemLeft] { taskFailed(job, *reason, itemLeft); });
    return task;
}

void BatchConverter::taskFailed(const ConversionJob &job, const QString &reason,
                                const ItemLeft &itemLeft)
{
    if (m_holdYoungMs > 0 && !m_stopped
        && changedWithin(QFileInfo(job.source).lastModified(), m_holdYoungMs)) {
        endJob(job, Outcome::Held, itemLeft);
        return;
    }
    if (!reason.isEmpty())
        Console::printError(reason);
    emit jobFailed(job, reason);
    endJob(job, Outcome::Failed, itemLeft);
}

bool BatchConverter::changedWithin(const QDateTime &modified, int ms)
{
    // Both ways: a share's clock may run a little ahead of ours.
    return modified.isValid() && qAbs(modified.msecsTo(QDateTime::currentDateTime())) < ms;
}

void BatchConverter::endJob(const ConversionJob &job, Outcome outcome, const ItemLeft &itemLeft)
{
    if (!itemLeft || --*itemLeft == 0)
        --m_running;
    if (outcome == Outcome::Held) {
        --m_total;
        emit failureHeld(job);
        finishIfIdle();
        return;
    }
    ++m_ended;
    const bool converted = outcome == Outcome::Converted;
    if (converted) {
        ++m_converted;
        if (m_console.listReports)
            Console::printReport(job.target);
    } else {
        ++m_failed;
    }
    if (m_console.showProgress) {
        Console::printStatus(QStringLiteral("[%1/%2] %3")
                                     .arg(m_ended)
                                     .arg(m_total)
                                     .arg(Console::oneLine(QFileInfo(job.source).fileName())));
    }
    emit jobEnded(job, converted);
    finishIfIdle();
}

void BatchConverter::finishIfIdle()
{
    startQueued();
    if (m_running == 0 && m_queue.isEmpty() && !m_stopped)
        emit done();
}
