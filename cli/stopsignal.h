#pragma once

#include <QObject>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so a watching
// converter can stop at a safe point: conversions already begun are finished
// and committed, the others dropped, and no partial report is left behind.
// While an object exists, further stop signals are only noted again.
class StopSignal : public QObject
{
    Q_OBJECT

public:
    explicit StopSignal(QObject *parent = nullptr);
    ~StopSignal() override;

signals:
    void stopRequested(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};
