#pragma once

#include <QHash>
#include <QObject>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// Linux's inotify for folders, told as Qt signals: what happened to the
// entries of each folder added, and to the folders themselves. Unlike a
// look at sizes and times it knows when a writer is done: a file closed
// after writing, or renamed into the folder, is complete.
class InotifyWatch : public QObject
{
    Q_OBJECT

public:
    explicit InotifyWatch(QObject *parent = nullptr);
    ~InotifyWatch() override;

    // False when inotify is not there (another system, or no instance left).
    bool isValid() const { return m_fd >= 0; }
    // False, and error says why, when the folder cannot be watched.
    bool addFolder(const QString &folder, QString *error);
    void removeFolder(const QString &folder);
    // Tells at once every event the kernel has queued so far, in order (the
    // events are told as they come anyway).
    void readEvents();

signals:
    // Closed after writing: complete.
    void fileWritten(const QString &path);
    // Renamed in, in place of whatever had the name: complete.
    void fileReplaced(const QString &path);
    // Made: complete only if no writer has it open (a hard link, a file
    // linked in whole as Qt's temporary files are).
    void fileCreated(const QString &path);
    // Written to or truncated: its writer is not done.
    void fileModified(const QString &path);
    // Read from, by any process: the read saw every change told before
    // this one that was not made while it ran.
    void fileRead(const QString &path);
    // Deleted or renamed away.
    void fileRemoved(const QString &path);
    void folderAdded(const QString &path);
    void folderRemoved(const QString &path);
    // An added folder itself was removed, renamed or unmounted.
    void folderGone(const QString &folder);
    // The kernel's queue ran over: events were lost.
    void overflowed();

private:
    void dispatch(int descriptor, quint32 mask, const QString &name);
    void forget(int descriptor);

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, QString> m_folders; // watch descriptor -> folder
    QHash<QString, int> m_descriptors;
    bool m_reading = false;
};
