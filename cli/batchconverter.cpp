#include "cli/batchconverter.h"

#include "engine/conversionqueue.h"

#include <QFileInfo>

BatchConverter::BatchConverter(const ConsoleOptions &console, QObject *parent)
    : QObject(parent)
    , m_queue(new ConversionQueue(this))
    , m_console(console)
{
    m_queue->setMaxInFlight(ConversionQueue::defaultInFlight());
    connect(m_queue, &ConversionQueue::reportWritten, this, &BatchConverter::reportWritten);
    connect(m_queue, &ConversionQueue::jobFailed, this, &BatchConverter::tellFailure);
    // A report that shows defaults only is written, and the run succeeds,
    // but it is said, also with -q: it must not pass for a real one.
    connect(m_queue, &ConversionQueue::jobWarned, this,
            [](const ConversionJob &, const QString &warning) {
                Console::printError(Console::text("Warnung: ") + warning);
            });
    connect(m_queue, &ConversionQueue::jobEnded, this, &BatchConverter::tellEnd);
    connect(m_queue, &ConversionQueue::failureHeld, this, &BatchConverter::failureHeld);
    connect(m_queue, &ConversionQueue::settled, this, &BatchConverter::done);
}

void BatchConverter::setArchival(bool archival)
{
    m_queue->setArchival(archival);
}

void BatchConverter::holdYoungFailures(int ms)
{
    m_queue->holdYoungFailures(ms);
}

void BatchConverter::start(const QVector<ConversionJob> &jobs)
{
    // Told from the event loop, so done() never comes from inside start().
    if (jobs.isEmpty() && m_queue->isSettled())
        QMetaObject::invokeMethod(this, &BatchConverter::done, Qt::QueuedConnection);
    m_queue->add(jobs);
}

void BatchConverter::add(const ConversionJob &job)
{
    m_queue->add(job);
}

void BatchConverter::dropQueued()
{
    m_queue->dropQueued();
}

void BatchConverter::stop()
{
    m_queue->stop();
}

int BatchConverter::failedCount() const
{
    return m_queue->failedCount();
}

int BatchConverter::convertedCount() const
{
    return m_queue->convertedCount();
}

int BatchConverter::notStartedCount() const
{
    return m_queue->startedCount() - m_queue->endedCount();
}

void BatchConverter::tellFailure(const ConversionJob &job, const QString &reason)
{
    if (!reason.isEmpty())
        Console::printError(reason);
    emit jobFailed(job, reason);
}

void BatchConverter::tellEnd(const ConversionJob &job, bool converted)
{
    if (converted && m_console.listReports)
        Console::printReport(job.target);
    if (m_console.showProgress) {
        Console::printStatus(QStringLiteral("[%1/%2] %3")
                                     .arg(m_queue->endedCount())
                                     .arg(m_queue->startedCount())
                                     .arg(Console::oneLine(QFileInfo(job.source).fileName())));
    }
    emit jobEnded(job, converted);
}
