#pragma once

#include "engine/convert.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVector>

#include <functional>

// The owner of the conversions a window, the converter or a test runs on
// Qt's global thread pool. It hands tasks to the pool, and on stopAll() or
// its destruction drops those still queued and waits for the running ones:
// no task outlives its owner, and no report is left half written.
class ConversionPool : public QObject
{
    Q_OBJECT

public:
    explicit ConversionPool(QObject *parent = nullptr);
    ~ConversionPool() override; // stopAll()

    // Runs task on the pool (convert::start) and owns it from here.
    void start(convert *task, const QString &sourcePath, const QString &pdfPath);
    // Runs the conversions in order as one work item (convert::startInOrder)
    // and owns their tasks from here.
    void start(const QVector<convert::Conversion> &conversions,
               const std::function<void()> &afterwards);
    // Owns a task that is started by other means (a test's own starter).
    void adopt(convert *task);

    // Drops the tasks that have not begun (the pool's whole queue, when
    // dropQueued), waits for the running ones and frees every task. Call on
    // the thread that created the tasks.
    void stopAll(bool dropQueued = true);
    // Waits until every task has run, drops none, and frees them.
    void waitForAll();

    // True while a task of this owner is queued or running.
    bool isBusy() const;

private:
    void collect();

    QList<QPointer<convert>> m_tasks;
};
