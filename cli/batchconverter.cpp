#include "cli/batchconverter.h"

#include "engine/convert.h"

#include <QFileInfo>
#include <QThreadPool>

#include <cstdio>

namespace {

// Tasks queued beyond the running ones, per pool thread: enough that a
// thread never waits for the GUI thread to hand it the next file.
constexpr int QueuedPerThread = 2;

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

BatchConverter::BatchConverter(const Output &output, QObject *parent)
    : QObject(parent)
    , m_output(output)
{ }

void BatchConverter::start(const QVector<ConversionJob> &jobs)
{
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
    while (!m_queue.isEmpty() && m_running < inFlight)
        startNext();
}

void BatchConverter::startNext()
{
    const ConversionJob job = m_queue.dequeue();
    ++m_running;
    if (!job.refusal.isEmpty()) {
        printLine(stderr, QStringLiteral("belmorand-cli: ") + job.refusal);
        // Reported from the event loop, like a task's end, so done() never
        // comes from inside start().
        QMetaObject::invokeMethod(
                this, [this, job] { endJob(job, false); }, Qt::QueuedConnection);
        return;
    }
    auto *task = new convert;
    task->setArchival(m_output.archival);
    connect(task, &convert::finished, this, [this, job] { endJob(job, true); });
    connect(task, &convert::abortReason, this, [](const QString &reason) {
        printLine(stderr, QStringLiteral("belmorand-cli: ") + reason);
    });
    connect(task, &convert::aborted, this, [this, job] { endJob(job, false); });
    convert::start(task, job.source, job.target);
}

void BatchConverter::endJob(const ConversionJob &job, bool converted)
{
    --m_running;
    ++m_ended;
    if (converted) {
        ++m_converted;
        if (m_output.listReports)
            printLine(stdout, job.target);
    } else {
        ++m_failed;
    }
    if (m_output.showProgress) {
        printLine(stderr, QStringLiteral("[%1/%2] %3")
                                  .arg(m_ended)
                                  .arg(m_total)
                                  .arg(QFileInfo(job.source).fileName()));
    }
    emit jobEnded(job, converted);
    startQueued();
    if (m_running == 0 && m_queue.isEmpty())
        emit done();
}
