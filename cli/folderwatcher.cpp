#include "cli/folderwatcher.h"

#include "cli/batchconverter.h"
#include "engine/reportpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <utility>

namespace {

// How often a settling file is looked at.
constexpr int SettleTickMs = 250;
// How long a burst of folder events (a copy of many files, say) is gathered
// before the folders are read again.
constexpr int ScanDelayMs = 50;

QString text(const char *source)
{
    return QCoreApplication::translate("belmorand-cli", source);
}

bool isBelow(const QString &path, const QString &folder)
{
    return path.startsWith(folder) && path.size() > folder.size()
           && path.at(folder.size()) == QLatin1Char('/');
}

} // namespace

FolderWatcher::FolderWatcher(BatchConverter *converter, const TargetRule &rule, bool recursive,
                             QObject *parent)
    : QObject(parent)
    , m_converter(converter)
    , m_rule(rule)
    , m_recursive(recursive)
    , m_watcher(new QFileSystemWatcher(this))
{
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(ScanDelayMs);
    m_settleTimer.setInterval(SettleTickMs);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatcher::folderChanged);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &FolderWatcher::fileChanged);
    connect(&m_scanTimer, &QTimer::timeout, this, &FolderWatcher::scanChangedFolders);
    connect(&m_settleTimer, &QTimer::timeout, this, &FolderWatcher::checkSettling);
    connect(m_converter, &BatchConverter::jobEnded, this, &FolderWatcher::jobEnded);
}

void FolderWatcher::start(const QStringList &folders)
{
    for (const QString &folder : folders) {
        // The real path: a folder named twice, or through a link, is one.
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (root.isEmpty() || m_roots.contains(root))
            continue;
        m_roots.append(root);
        watchFolder(root, true);
    }
    if (m_roots.isEmpty())
        QMetaObject::invokeMethod(this, &FolderWatcher::foldersGone, Qt::QueuedConnection);
}

void FolderWatcher::stop()
{
    m_watcher->disconnect(this);
    m_scanTimer.stop();
    m_settleTimer.stop();
    m_files.clear();
}

FolderWatcher::FileState FolderWatcher::stateOf(const QString &path)
{
    const QFileInfo info(path);
    FileState state;
    if (info.isFile()) {
        state.size = info.size();
        state.modified = info.lastModified();
    }
    return state;
}

void FolderWatcher::watchFolder(const QString &folder, bool atStart)
{
    if (m_watchedFolders.contains(folder))
        return;
    if (!m_watcher->addPath(folder)) {
        BatchConverter::printError(text("der Ordner %1 lässt sich nicht beobachten").arg(folder));
        m_roots.removeOne(folder);
        return;
    }
    m_watchedFolders.insert(folder);
    scanFolder(folder, atStart);
}

void FolderWatcher::scanFolder(const QString &folder, bool atStart)
{
    const QDir dir(folder);
    if (!dir.exists()) {
        // Gone, with whatever was below it; Qt has dropped its watches.
        const QList<QString> paths = m_files.keys();
        for (const QString &path : paths) {
            if (isBelow(path, folder))
                forgetFile(path);
        }
        m_watchedFolders.remove(folder);
        if (m_roots.removeOne(folder)) {
            BatchConverter::printError(
                    text("der Ordner %1 ist verschwunden und wird nicht mehr beobachtet")
                            .arg(folder));
            if (m_roots.isEmpty())
                emit foldersGone();
        }
        return;
    }

    QSet<QString> present;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        if (!ReportPaths::isConfiguration(name))
            continue;
        const QString path = dir.filePath(name);
        present.insert(path);
        noteFile(path, atStart);
    }
    const QList<QString> known = m_files.keys();
    for (const QString &path : known) {
        if (QFileInfo(path).path() == folder && !present.contains(path))
            forgetFile(path);
    }

    if (!m_recursive)
        return;
    // Linked folders are not followed, as in a batch.
    const QStringList folders = dir.entryList(
            QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    for (const QString &name : folders)
        watchFolder(dir.filePath(name), atStart);
}

void FolderWatcher::noteFile(const QString &path, bool atStart)
{
    // Watched one by one as well: a file rewritten in place changes nothing
    // in its folder. Armed before the file is looked at, so no write between
    // the two goes unnoticed.
    if (!m_watchedFiles.contains(path) && m_watcher->addPath(path))
        m_watchedFiles.insert(path);
    const FileState state = stateOf(path);
    if (state.size < 0) {
        forgetFile(path);
        return;
    }

    auto entry = m_files.find(path);
    if (entry == m_files.end()) {
        Entry fresh;
        fresh.job = makeJob(path, m_rule);
        // The first file to name a target keeps it, as in a batch.
        if (!m_files.contains(m_writers.value(fresh.job.target)))
            m_writers.insert(fresh.job.target, path);
        if (atStart && isReportCurrent(fresh.job))
            fresh.handled = state;
        entry = m_files.insert(path, fresh);
    }
    if (entry->handled == state || entry->steadySince.isValid())
        return;
    entry->seen = state;
    entry->steadySince.start();
    if (!m_settleTimer.isActive())
        m_settleTimer.start();
}

void FolderWatcher::forgetFile(const QString &path)
{
    const auto entry = m_files.constFind(path);
    if (entry != m_files.constEnd()) {
        if (m_writers.value(entry->job.target) == path)
            m_writers.remove(entry->job.target);
        m_files.erase(entry);
    }
    if (m_watchedFiles.remove(path))
        m_watcher->removePath(path);
}

void FolderWatcher::folderChanged(const QString &folder)
{
    m_changedFolders.insert(folder);
    if (!m_scanTimer.isActive())
        m_scanTimer.start();
}

void FolderWatcher::fileChanged(const QString &path)
{
    // Qt stops watching a file that was removed or replaced by a rename;
    // watching it afresh follows whatever file now has the name.
    if (m_watchedFiles.remove(path))
        m_watcher->removePath(path);
    noteFile(path, false);
}

void FolderWatcher::scanChangedFolders()
{
    const QSet<QString> folders = std::exchange(m_changedFolders, {});
    for (const QString &folder : folders)
        scanFolder(folder, false);
}

void FolderWatcher::checkSettling()
{
    bool settling = false;
    QStringList gone;
    for (auto entry = m_files.begin(); entry != m_files.end(); ++entry) {
        if (!entry->steadySince.isValid())
            continue;
        const FileState now = stateOf(entry.key());
        if (now.size < 0) {
            gone.append(entry.key());
        } else if (now != entry->seen) {
            entry->seen = now;
            entry->steadySince.restart();
            settling = true;
        } else if (now == entry->handled) {
            entry->steadySince.invalidate();
        } else if (entry->busy || entry->steadySince.elapsed() < SettleMs) {
            settling = true; // its earlier version is still being converted
        } else {
            hand(&entry.value(), now);
        }
    }
    for (const QString &path : qAsConst(gone))
        forgetFile(path);
    if (!settling)
        m_settleTimer.stop();
}

void FolderWatcher::hand(Entry *entry, const FileState &state)
{
    entry->handled = state;
    entry->steadySince.invalidate();
    ConversionJob job = entry->job;
    const QString writer = m_writers.value(job.target);
    if (m_files.contains(writer) && writer != job.source)
        refuseTarget(&job, writer);
    else
        m_writers.insert(job.target, job.source);
    entry->busy = true;
    m_converter->add(job);
}

void FolderWatcher::jobEnded(const ConversionJob &job)
{
    const auto entry = m_files.find(job.source);
    if (entry != m_files.end())
        entry->busy = false;
}
