#pragma once

#include "engine/convert.h"
#include "report/reportvolume.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// What one conversion said, in the order it said it.
struct ConversionRun
{
    QList<int> progress;
    int finished = 0;
    int aborted = 0;
    QStringList reasons;
    // Every aborted() came after its reason, so a receiver already had it.
    bool reasonBeforeAbort = true;

    QString lastReason() const { return reasons.isEmpty() ? QString() : reasons.last(); }
};

// Converts source into pdf on this thread and collects the task's signals;
// with a volume, draws the report into it under the name pdf.
inline ConversionRun runConversion(const QString &source, const QString &pdf,
                                   const std::shared_ptr<ReportVolume> &volume = {})
{
    convert task;
    task.setVolume(volume);
    ConversionRun run;
    QObject::connect(&task, &convert::newPbarValue,
                     [&run](int value) { run.progress.append(value); });
    QObject::connect(&task, &convert::finished, [&run] { ++run.finished; });
    QObject::connect(&task, &convert::aborted, [&run] {
        ++run.aborted;
        if (run.reasons.isEmpty())
            run.reasonBeforeAbort = false;
    });
    QObject::connect(&task, &convert::abortReason,
                     [&run](const QString &reason) { run.reasons.append(reason); });
    task.run(source, pdf);
    return run;
}
