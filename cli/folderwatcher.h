#pragma once

#include "cli/joblist.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

class BatchConverter;
class InotifyWatch;
QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
QT_END_NAMESPACE

// Keeps the reports of the ".json" files in some folders up to date. At start
// it converts the files whose report is missing or older than the file, like
// make; then every file that appears, changes or is renamed into a folder,
// once its writer has finished with it. On Linux the writer says so itself
// (inotify: the file is closed after writing, or renamed in); elsewhere, and
// on network shares whose changes this machine never hears of, a file is
// complete once its size and time stay the same between two looks. A failure
// of a file changed less than YoungMs ago is not told yet: the file is looked
// at again when it changes or when that time is over. The conversions run on
// the given converter, which tells what was written and what failed. A
// conversion reads its file when it begins, maybe well after it was asked
// for: with inotify the watcher learns whether a version completed meanwhile
// was read by it, and converts that version only when it was not.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    FolderWatcher(BatchConverter *converter, const TargetRule &rule, bool recursive,
                  QObject *parent = nullptr);

    // Looks at every folder every seconds instead of being told of changes.
    // Without it only folders on a network share are looked at, every
    // NetworkPollSeconds.
    void setPollInterval(int seconds);
    // Starts watching the folders (and their subfolders when recursive).
    void start(const QStringList &folders);
    // Stops noticing changes; the conversions already submitted are the
    // converter's to finish or stop.
    void stop();

    // Without inotify: how long a file's size and time must stay the same
    // before it counts as complete.
    static constexpr int SettleMs = 1000;
    // A failure of a file changed less than this ago is held back.
    static constexpr int YoungMs = 5000;
    static constexpr int NetworkPollSeconds = 5;
    static constexpr int MaxPollSeconds = 3600;

signals:
    // No watched folder is left: each one was removed.
    void foldersGone();

private:
    struct FileState
    {
        qint64 size = -1; // -1: no regular file
        qint64 modified = 0; // in ns since 1970, as the file system keeps it
        bool operator==(const FileState &other) const
        {
            return size == other.size && modified == other.modified;
        }
        bool operator!=(const FileState &other) const { return !(*this == other); }
    };

    // What the watcher knows about one configuration file.
    struct Entry
    {
        ConversionJob job;
        FileState handled; // the state last converted, or found current at start
        FileState seen; // the state at the last look while it settles
        QElapsedTimer steadySince; // valid while the file settles (without inotify)
        bool ownsTarget = false; // its report is not claimed by another file
        bool busy = false; // its conversion runs
        bool pending = false; // a newer version became complete meanwhile
        // While busy (inotify only): the file was read, by the conversion or
        // by someone before it, and changed after that read.
        bool read = false;
        bool changedAfterRead = false;
        bool held = false; // its last conversion failed while it was young
    };

    // A polled folder as its last listing found it.
    struct Listing
    {
        QDateTime modified;
        QStringList files;
    };

    // Why a file is looked at.
    enum class Sighting {
        AtStart, // listed at start: handled as a batch would
        Complete, // its writer is done with it
        Changed, // told of a change: complete once it has settled
        Looked, // found by a periodic look: complete when two looks agree
    };

    static FileState stateOf(const QString &path);

    bool isPolled(const QString &folder);
    void watchFolder(const QString &folder, bool atStart);
    void unwatchFolder(const QString &folder);
    void scanFolder(const QString &folder, bool atStart);
    void dropFolder(const QString &folder);
    void noteFile(const QString &path, Sighting sighting);
    Entry *track(const QString &path, const FileState &state, bool atStart);
    void settle(Entry *entry, const FileState &state);
    void forgetFile(const QString &path);
    void fileWritten(const QString &path);
    void fileReplaced(const QString &path);
    void fileCreated(const QString &path);
    void fileModified(const QString &path);
    void fileRead(const QString &path);
    void changedOnDisk(const QString &path);
    void folderChanged(const QString &folder);
    void fileChanged(const QString &path);
    void folderAdded(const QString &folder);
    void scanChangedFolders();
    void rescanNotified();
    void lookAgain();
    void checkSettling();
    void offer(Entry *entry, const FileState &state);
    void submit(Entry *entry, const FileState &state);
    void conversionEnded(const ConversionJob &job);
    void failureHeld(const ConversionJob &job);
    void retryHeld(const QString &path);

    BatchConverter *m_converter;
    TargetRule m_rule;
    bool m_recursive;
    InotifyWatch *m_inotify;
    QFileSystemWatcher *m_watcher; // where inotify is not there
    int m_pollSeconds = 0; // 0: told of changes, shares looked at
    QStringList m_roots;
    QSet<QString> m_watchedFolders;
    QSet<QString> m_polledFolders;
    QSet<QString> m_watchedFiles;
    QSet<QString> m_changedFolders;
    QSet<QString> m_told; // the problems of folders already printed
    QHash<QString, Entry> m_files; // by source path
    QHash<QString, Listing> m_listings; // of the polled folders
    TargetClaims m_claims;
    QTimer m_scanTimer; // gathers a burst of folder events into one scan
    QTimer m_settleTimer; // looks at the files that are settling
    QTimer m_pollTimer; // looks at the polled folders
};
