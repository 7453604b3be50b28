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
QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
QT_END_NAMESPACE

// Keeps the reports of the ".json" files in some folders up to date. At start
// it converts the files whose report is missing or older than the file, like
// make; then every file that appears, changes or is renamed into a folder,
// once its writer has finished with it: its size and modification time have
// stayed the same for a while. The conversions run on the given converter,
// which tells what was written and what failed.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    FolderWatcher(BatchConverter *converter, const TargetRule &rule, bool recursive,
                  QObject *parent = nullptr);

    // Starts watching the folders (and their subfolders when recursive).
    void start(const QStringList &folders);
    // Stops noticing changes; the conversions already handed on are the
    // converter's to finish or stop.
    void stop();

    // How long a file's size and time must stay the same before it counts
    // as complete.
    static constexpr int SettleMs = 1000;

signals:
    // No watched folder is left: each one was removed.
    void foldersGone();

private:
    struct FileState
    {
        qint64 size = -1;
        QDateTime modified;
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
        QElapsedTimer steadySince; // valid while the file settles
        bool busy = false; // its conversion runs
    };

    static FileState stateOf(const QString &path);

    void watchFolder(const QString &folder, bool atStart);
    void scanFolder(const QString &folder, bool atStart);
    void noteFile(const QString &path, bool atStart);
    void forgetFile(const QString &path);
    void folderChanged(const QString &folder);
    void fileChanged(const QString &path);
    void scanChangedFolders();
    void checkSettling();
    void hand(Entry *entry, const FileState &state);
    void jobEnded(const ConversionJob &job);

    BatchConverter *m_converter;
    TargetRule m_rule;
    bool m_recursive;
    QFileSystemWatcher *m_watcher;
    QStringList m_roots;
    QSet<QString> m_watchedFolders;
    QSet<QString> m_watchedFiles;
    QSet<QString> m_changedFolders;
    QHash<QString, Entry> m_files; // by source path
    QHash<QString, QString> m_writers; // target -> the source that writes it
    QTimer m_scanTimer; // gathers a burst of folder events into one scan
    QTimer m_settleTimer; // looks at the files that are settling
};
