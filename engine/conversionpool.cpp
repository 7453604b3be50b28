#include "engine/conversionpool.h"

#include "engine/convert.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <utility>

ConversionPool::ConversionPool(QObject *parent)
    : QObject(parent)
{ }

ConversionPool::~ConversionPool()
{
    // An owner with nothing in the pool leaves the others' work alone.
    stopAll(isBusy());
}

void ConversionPool::start(convert *task, const QString &sourcePath, const QString &pdfPath)
{
    adopt(task);
    convert::start(task, sourcePath, pdfPath);
}

void ConversionPool::start(const QVector<convert::Conversion> &conversions,
                           const std::function<void()> &afterwards)
{
    for (const convert::Conversion &conversion : conversions)
        adopt(conversion.task);
    convert::startInOrder(conversions, afterwards);
}

void ConversionPool::adopt(convert *task)
{
    // Tasks that ended have deleted themselves.
    m_tasks.removeAll(QPointer<convert>());
    m_tasks.append(task);
}

void ConversionPool::stopAll(bool dropQueued)
{
    // Order matters: a task object may go only once its run() has returned.
    if (dropQueued)
        QThreadPool::globalInstance()->clear();
    if (isBusy())
        QThreadPool::globalInstance()->waitForDone();
    collect();
}

void ConversionPool::waitForAll()
{
    QThreadPool::globalInstance()->waitForDone();
    collect();
}

void ConversionPool::collect()
{
    // Tasks that ran have asked for their deletion; let it happen now, for
    // this owner's tasks only: another owner's may still have signals on
    // their way that read them.
    const QList<QPointer<convert>> tasks = std::exchange(m_tasks, {});
    for (const QPointer<convert> &task : tasks) {
        if (task)
            QCoreApplication::sendPostedEvents(task, QEvent::DeferredDelete);
    }
    // What is left never ran (dropped from the queue); no run() touches
    // these any more.
    for (const QPointer<convert> &task : tasks)
        delete task.data();
}

bool ConversionPool::isBusy() const
{
    for (const QPointer<convert> &task : m_tasks) {
        if (!task.isNull())
            return true;
    }
    return false;
}
