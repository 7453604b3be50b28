#include "cli/stopsignal.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
const int StopSignals[] = {SIGINT, SIGTERM};
// The handler may only write to a pipe; the event loop reads the other end.
int pipeEnds[2] = {-1, -1};

void noteSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

void handleSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : StopSignals)
        ::sigaction(signalNumber, &action, nullptr);
}
#endif

} // namespace

StopSignal::StopSignal(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::pipe(pipeEnds) != 0)
        return; // the signals keep their default: the process ends at once
    for (const int end : pipeEnds) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignal::readPending);
    handleSignals(noteSignal);
#endif
}

StopSignal::~StopSignal()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    handleSignals(SIG_DFL);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
#endif
}

void StopSignal::readPending()
{
#ifdef Q_OS_UNIX
    unsigned char number = 0;
    while (::read(pipeEnds[0], &number, 1) == 1)
        emit stopRequested(number);
#endif
}
