#include "cli/inotifywatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopedValueRollback>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The events of a folder's entries that tell the watcher something, and of
// the folder itself. IN_ACCESS: the watcher learns which version of a file
// its conversion read (reads of a file in a row come as one event).
constexpr quint32 EntryEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY | IN_DELETE
                                | IN_MOVED_FROM | IN_ACCESS;
constexpr quint32 SelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
// Room for many events per read; each is at most this plus a name.
constexpr int ReadBufferSize = 64 * 1024;

} // namespace

InotifyWatch::InotifyWatch(QObject *parent)
    : QObject(parent)
    , m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyWatch::readEvents);
}

InotifyWatch::~InotifyWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InotifyWatch::addFolder(const QString &folder, QString *error)
{
    // Links are not followed into folders; IN_EXCL_UNLINK: a file removed
    // while still open says no more.
    const int descriptor
            = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                EntryEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR
                                        | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
    if (descriptor < 0) {
        // ENOSPC is no full disk here but the limit of watches.
        *error = errno == ENOSPC
                         ? QCoreApplication::translate("belmorand-cli",
                                                       "zu viele beobachtete Ordner (Grenze: "
                                                       "/proc/sys/fs/inotify/max_user_watches)")
                         : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_folders.insert(descriptor, folder);
    m_descriptors.insert(folder, descriptor);
    return true;
}

void InotifyWatch::removeFolder(const QString &folder)
{
    const int descriptor = m_descriptors.value(folder, -1);
    if (descriptor < 0)
        return;
    forget(descriptor);
    inotify_rm_watch(m_fd, descriptor);
}

void InotifyWatch::forget(int descriptor)
{
    m_descriptors.remove(m_folders.take(descriptor));
}

void InotifyWatch::readEvents()
{
    // Called again from a slot of an event it tells, it would tell newer
    // events before the older ones still in the buffer.
    if (m_reading)
        return;
    const QScopedValueRollback<bool> reading(m_reading, true);
    alignas(inotify_event) char buffer[ReadBufferSize];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            // The name is padded with NULs to the event's length.
            dispatch(event->wd, event->mask,
                     event->len > 0 ? QFile::decodeName(event->name) : QString());
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

void InotifyWatch::dispatch(int descriptor, quint32 mask, const QString &name)
{
    if (mask & IN_Q_OVERFLOW) {
        emit overflowed();
        return;
    }
    const QString folder = m_folders.value(descriptor);
    if (folder.isEmpty())
        return; // removed already; its last events still come
    if (mask & SelfEvents) {
        // A folder renamed away keeps its watch: dropped, so its events
        // are not taken for the old path's.
        forget(descriptor);
        if (!(mask & IN_IGNORED))
            inotify_rm_watch(m_fd, descriptor);
        emit folderGone(folder);
        return;
    }
    const QString path = folder + QLatin1Char('/') + name;
    const bool isFolder = mask & IN_ISDIR;
    if (mask & IN_ACCESS) {
        // A folder is read whenever it is listed, the watched one too.
        if (!isFolder && !name.isEmpty())
            emit fileRead(path);
    } else if (mask & (IN_DELETE | IN_MOVED_FROM)) {
        if (isFolder)
            emit folderRemoved(path);
        else
            emit fileRemoved(path);
    } else if (isFolder) {
        emit folderAdded(path);
    } else if (mask & IN_CLOSE_WRITE) {
        emit fileWritten(path);
    } else if (mask & IN_MOVED_TO) {
        emit fileReplaced(path);
    } else if (mask & IN_CREATE) {
        emit fileCreated(path);
    } else if (mask & IN_MODIFY) {
        emit fileModified(path);
    }
}

#else

InotifyWatch::InotifyWatch(QObject *parent)
    : QObject(parent)
{ }

InotifyWatch::~InotifyWatch() = default;

bool InotifyWatch::addFolder(const QString &, QString *)
{
    return false;
}

void InotifyWatch::removeFolder(const QString &) { }

void InotifyWatch::readEvents() { }

#endif
