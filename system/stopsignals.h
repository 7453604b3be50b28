#pragma once

#include <QObject>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal or a
// logout) into a Qt signal on the thread that created the object, so the
// program can stop its conversions and leave nothing behind. A second such
// signal ends the program at once. One object per process; on systems
// without these signals it never emits.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // Catches the signals from now on, before the application object that
    // delivers them exists; one that arrives meanwhile is delivered once a
    // StopSignals object is made and the event loop runs. Call first thing
    // in main(): setting up Qt takes long enough for a quick SIGTERM to find
    // the program with nothing in place.
    static void catchEarly();

    // The exit status of a program that ends because of signal: 128 + its
    // number, as a shell reports a program killed by it.
    static int exitStatus(int signal);
    // "SIGINT", "SIGTERM" or "SIGHUP".
    static QString name(int signal);

    // Emits received() now for a signal that came before the event loop
    // runs, so that a program stopped during its start begins nothing.
    void deliverPending();

signals:
    void received(int signal);

private:
    QSocketNotifier *m_notifier = nullptr;
};
