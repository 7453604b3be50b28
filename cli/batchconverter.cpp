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
    m_jobs = jobs;
    if (m_jobs.isEmpty()) {
        QMetaObject::invokeMethod(this, &BatchConverter::done, Qt::QueuedConnection);
        return;
    }
    const int inFlight = QThreadPool::globalInstance()->maxThreadCount() * (1 + QueuedPerThread);
    while (m_next < m_jobs.size() && m_next < inFlight)
        startNext();
}

void BatchConverter::startNext()
{
    const ConversionJob job = m_jobs.at(m_next++);
    if (!job.refusal.isEmpty()) {
        printLine(stderr, QStringLiteral("belmorand-cli: ") + job.refusal);
        // Reported from the event loop, like a task's end, so done() never
        // comes from inside start().
        QMetaObject::invokeMethod(
                this, [this, job] { jobEnded(job, false); }, Qt::QueuedConnection);
        return;
    }
    auto *task = new convert;
    task->setArchival(m_output.archival);
    connect(task, &convert::finished, this, [this, job] { jobEnded(job, true); });
    connect(task, &convert::abortReason, this, [](const QString &reason) {
        printLine(stderr, QStringLiteral("belmorand-cli: ") + reason);
    });
    connect(task, &convert::aborted, this, [this, job] { jobEnded(job, false); });
    convert::start(task, job.source, job.target);
}

void BatchConverter::jobEnded(const ConversionJob &job, bool converted)
{
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
                                  .arg(m_jobs.size())
                                  .arg(QFileInfo(job.source).fileName()));
    }
    if (m_next < m_jobs.size())
        startNext();
    if (m_ended == m_jobs.size())
        emit done();
}
