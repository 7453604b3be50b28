#include "cli/batchconverter.h"

#include "engine/convert.h"

#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

BatchConverter::BatchConverter(QObject *parent)
    : QObject(parent)
{ }

void BatchConverter::start(const QVector<Job> &jobs)
{
    m_pending = jobs.size();
    if (jobs.isEmpty()) {
        QMetaObject::invokeMethod(this, &BatchConverter::done, Qt::QueuedConnection);
        return;
    }
    for (const Job &job : jobs)
        startJob(job);
}

void BatchConverter::startJob(const Job &job)
{
    auto *task = new convert;
    const QString target = convert::outputFileName(job.target);
    connect(task, &convert::finished, this, [this, target] {
        ++m_converted;
        printLine(stdout, target);
        jobEnded();
    });
    connect(task, &convert::abortReason, this, [](const QString &reason) {
        printLine(stderr, QStringLiteral("belmorand-cli: ") + reason);
    });
    connect(task, &convert::aborted, this, [this] {
        ++m_failed;
        jobEnded();
    });
    convert::start(task, job.source, job.target);
}

void BatchConverter::jobEnded()
{
    if (--m_pending == 0)
        emit done();
}
