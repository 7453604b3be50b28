#include "system/stopsignals.h"

#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr int ExitStatusBase = 128;

#ifdef Q_OS_UNIX
const int Handled[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may only write to a descriptor: the event loop reads it.
int g_sockets[2] = {-1, -1};

void onSignal(int signal)
{
    const char number = char(signal);
    const ssize_t written = ::write(g_sockets[0], &number, 1);
    (void)written; // nothing safe to do about a full socket here
}
#endif

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    catchEarly();
    if (g_sockets[1] < 0)
        return;
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::deliverPending);
#endif
}

void StopSignals::catchEarly()
{
#ifdef Q_OS_UNIX
    if (g_sockets[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_sockets) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls, and the default again after the first: a
    // second Ctrl+C ends a program that hangs on its way out.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : Handled)
        sigaction(signal, &action, nullptr);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (int signal : Handled)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_sockets[0]);
    ::close(g_sockets[1]);
    g_sockets[0] = g_sockets[1] = -1;
#endif
}

int StopSignals::exitStatus(int signal)
{
    return ExitStatusBase + signal;
}

QString StopSignals::name(int signal)
{
#ifdef Q_OS_UNIX
    if (signal == SIGHUP)
        return QStringLiteral("SIGHUP");
#endif
    if (signal == SIGINT)
        return QStringLiteral("SIGINT");
    if (signal == SIGTERM)
        return QStringLiteral("SIGTERM");
    return QString::number(signal);
}

void StopSignals::deliverPending()
{
#ifdef Q_OS_UNIX
    char number = 0;
    while (::read(g_sockets[1], &number, 1) == 1)
        emit received(int(uchar(number)));
#endif
}
