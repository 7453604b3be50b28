#include "cli/folderwatcher.h"

#include "cli/batchconverter.h"
#include "cli/console.h"
#include "cli/inotifywatch.h"
#include "cli/networkshare.h"
#include "system/reportpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <utility>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace {

// How often a settling file is looked at.
constexpr int SettleTickMs = 250;
// How long a burst of folder events (a copy of many files, say) is gathered
// before the folders are read again.
constexpr int ScanDelayMs = 50;
constexpr int MsPerSecond = 1000;
constexpr qint64 NsPerMs = 1000000;
constexpr qint64 NsPerSecond = MsPerSecond * NsPerMs;

bool isBelow(const QString &path, const QString &folder)
{
    return path.startsWith(folder) && path.size() > folder.size()
           && path.at(folder.size()) == QLatin1Char('/');
}

bool isDirectlyIn(const QString &path, const QString &folder)
{
    return isBelow(path, folder) && path.indexOf(QLatin1Char('/'), folder.size() + 1) < 0;
}

} // namespace

FolderWatcher::FolderWatcher(BatchConverter *converter, const TargetRule &rule, bool recursive,
                             QObject *parent)
    : QObject(parent)
    , m_converter(converter)
    , m_rule(rule)
    , m_recursive(recursive)
    , m_inotify(new InotifyWatch(this))
    , m_watcher(nullptr)
{
    m_converter->holdYoungFailures(YoungMs);
    if (m_inotify->isValid()) {
        connect(m_inotify, &InotifyWatch::fileWritten, this, &FolderWatcher::fileWritten);
        connect(m_inotify, &InotifyWatch::fileReplaced, this, &FolderWatcher::fileReplaced);
        connect(m_inotify, &InotifyWatch::fileCreated, this, &FolderWatcher::fileCreated);
        connect(m_inotify, &InotifyWatch::fileModified, this, &FolderWatcher::fileModified);
        connect(m_inotify, &InotifyWatch::fileRead, this, &FolderWatcher::fileRead);
        connect(m_inotify, &InotifyWatch::fileRemoved, this, &FolderWatcher::forgetFile);
        connect(m_inotify, &InotifyWatch::folderAdded, this, &FolderWatcher::folderAdded);
        connect(m_inotify, &InotifyWatch::folderRemoved, this, &FolderWatcher::dropFolder);
        connect(m_inotify, &InotifyWatch::folderGone, this, &FolderWatcher::dropFolder);
        connect(m_inotify, &InotifyWatch::overflowed, this, &FolderWatcher::rescanNotified);
    } else {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
                &FolderWatcher::folderChanged);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &FolderWatcher::fileChanged);
    }
    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(ScanDelayMs);
    m_settleTimer.setInterval(SettleTickMs);
    connect(&m_scanTimer, &QTimer::timeout, this, &FolderWatcher::scanChangedFolders);
    connect(&m_settleTimer, &QTimer::timeout, this, &FolderWatcher::checkSettling);
    connect(&m_pollTimer, &QTimer::timeout, this, &FolderWatcher::lookAgain);
    connect(m_converter, &BatchConverter::jobEnded, this, &FolderWatcher::conversionEnded);
    connect(m_converter, &BatchConverter::failureHeld, this, &FolderWatcher::failureHeld);
}

void FolderWatcher::setPollInterval(int seconds)
{
    m_pollSeconds = seconds;
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
    m_inotify->disconnect(this);
    if (m_watcher)
        m_watcher->disconnect(this);
    m_scanTimer.stop();
    m_settleTimer.stop();
    m_pollTimer.stop();
    m_files.clear();
}

FolderWatcher::FileState FolderWatcher::stateOf(const QString &path)
{
    FileState state;
#ifdef Q_OS_LINUX
    // stat itself: QFileInfo's local times look at /etc/localtime for each
    // file, three times the cost of the stat when a look is 10 000 files.
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)) {
        state.size = info.st_size;
        state.modified = qint64(info.st_mtim.tv_sec) * NsPerSecond + info.st_mtim.tv_nsec;
    }
#else
    const QFileInfo info(path);
    if (info.isFile()) {
        state.size = info.size();
        state.modified = info.lastModified().toMSecsSinceEpoch() * NsPerMs;
    }
#endif
    return state;
}

bool FolderWatcher::isPolled(const QString &folder)
{
    if (m_pollSeconds > 0 || m_polledFolders.contains(QFileInfo(folder).path()))
        return true;
    if (!NetworkShare::isNetworkFolder(folder))
        return false;
    Console::printError(
            Console::text(
                    "der Ordner %1 liegt auf einer Netzwerkfreigabe: wird alle %2 s angesehen")
                    .arg(folder)
                    .arg(NetworkPollSeconds));
    return true;
}

void FolderWatcher::watchFolder(const QString &folder, bool atStart)
{
    if (m_watchedFolders.contains(folder))
        return;
    if (isPolled(folder)) {
        m_polledFolders.insert(folder);
        if (!m_pollTimer.isActive())
            m_pollTimer.start((m_pollSeconds > 0 ? m_pollSeconds : NetworkPollSeconds)
                              * MsPerSecond);
    } else {
        QString reason;
        const bool watched
                = m_watcher ? m_watcher->addPath(folder) : m_inotify->addFolder(folder, &reason);
        if (!watched) {
            Console::printError(
                    Console::text("der Ordner %1 lässt sich nicht beobachten").arg(folder)
                    + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
            m_roots.removeOne(folder);
            return;
        }
    }
    m_watchedFolders.insert(folder);
    scanFolder(folder, atStart);
}

void FolderWatcher::unwatchFolder(const QString &folder)
{
    m_watchedFolders.remove(folder);
    m_listings.remove(folder);
    if (m_polledFolders.remove(folder)) {
        if (m_polledFolders.isEmpty())
            m_pollTimer.stop();
    } else if (m_watcher) {
        m_watcher->removePath(folder);
    } else {
        m_inotify->removeFolder(folder);
    }
}

void FolderWatcher::scanFolder(const QString &folder, bool atStart)
{
    // Its time before its entries: a change while they are read is seen
    // at the next look.
    const QFileInfo info(folder);
    if (!info.isDir()) {
        dropFolder(folder);
        return;
    }
    // Listed as a batch lists it, one folder at a time: each is watched on
    // its own.
    FolderFindings findings;
    const QStringList files = expandPaths({folder}, false, &findings);
    for (const QString &problem : qAsConst(findings.unreadable)) {
        if (!m_told.contains(problem)) {
            m_told.insert(problem);
            Console::printError(problem);
        }
    }

    // A listing cannot tell whether a writer still has a file open: one
    // found after start settles. Its close, which the watch armed before
    // the listing reports, completes it at once.
    Sighting sighting = Sighting::Changed;
    if (atStart)
        sighting = Sighting::AtStart;
    else if (m_polledFolders.contains(folder))
        sighting = Sighting::Looked;
    for (const QString &path : files)
        noteFile(path, sighting);
    if (m_polledFolders.contains(folder))
        m_listings.insert(folder, {info.lastModified(), files});
    const QSet<QString> present(files.cbegin(), files.cend());
    const QList<QString> known = m_files.keys();
    for (const QString &path : known) {
        if (isDirectlyIn(path, folder) && !present.contains(path))
            forgetFile(path);
    }

    if (m_recursive) {
        for (const QString &subfolder : subfolders(folder))
            watchFolder(subfolder, atStart);
    }
}

void FolderWatcher::dropFolder(const QString &folder)
{
    if (!m_watchedFolders.contains(folder))
        return; // told twice: by its parent and by itself
    const QList<QString> folders = m_watchedFolders.values();
    bool rootLost = false;
    for (const QString &watched : folders) {
        if (watched != folder && !isBelow(watched, folder))
            continue;
        unwatchFolder(watched);
        if (m_roots.removeOne(watched)) {
            rootLost = true;
            Console::printError(
                    Console::text("der Ordner %1 ist verschwunden und wird nicht mehr beobachtet")
                            .arg(watched));
        }
    }
    const QList<QString> paths = m_files.keys();
    for (const QString &path : paths) {
        if (isBelow(path, folder))
            forgetFile(path);
    }
    if (rootLost && m_roots.isEmpty())
        emit foldersGone();
}

void FolderWatcher::fileWritten(const QString &path)
{
    if (ReportPaths::isConfiguration(QFileInfo(path).fileName()))
        noteFile(path, Sighting::Complete);
}

void FolderWatcher::fileReplaced(const QString &path)
{
    changedOnDisk(path);
    fileWritten(path);
}

void FolderWatcher::fileCreated(const QString &path)
{
    // Complete if nothing is written to it while it settles: a file linked
    // in whole says nothing more, one being written soon says IN_MODIFY.
    changedOnDisk(path);
    if (ReportPaths::isConfiguration(QFileInfo(path).fileName()))
        noteFile(path, Sighting::Changed);
}

void FolderWatcher::fileModified(const QString &path)
{
    // Its writer is at it; its close tells when it is done.
    changedOnDisk(path);
    const auto entry = m_files.find(path);
    if (entry != m_files.end())
        entry->steadySince.invalidate();
}

void FolderWatcher::fileRead(const QString &path)
{
    // The first read since the conversion was asked for: its own, or an
    // earlier one by another reader, which only makes the watcher
    // convert once more than needed.
    const auto entry = m_files.find(path);
    if (entry != m_files.end() && entry->busy)
        entry->read = true;
}

void FolderWatcher::changedOnDisk(const QString &path)
{
    // A close alone is no change: a writer, a shell's ">>" say, may close
    // only after the read that saw its last write.
    const auto entry = m_files.find(path);
    if (entry != m_files.end() && entry->busy && entry->read)
        entry->changedAfterRead = true;
}

void FolderWatcher::noteFile(const QString &path, Sighting sighting)
{
    // Told of changes without inotify: watched one by one as well, since a
    // file rewritten in place changes nothing in its folder. Armed before
    // the file is looked at, so no write between the two goes unnoticed.
    if (m_watcher && sighting != Sighting::Looked && !m_watchedFiles.contains(path)
        && !m_polledFolders.contains(QFileInfo(path).path()) && m_watcher->addPath(path))
        m_watchedFiles.insert(path);
    const FileState state = stateOf(path);
    // The one place where watching differs from a batch: a dangling link (an
    // editor's lock file ".#a.json") or a FIFO is passed over instead of
    // named. They come and go with every edit, and would be reported as
    // broken each time.
    if (state.size < 0) {
        forgetFile(path);
        return;
    }
    Entry *entry = track(path, state, sighting == Sighting::AtStart);
    if (state == entry->handled)
        return;
    switch (sighting) {
    case Sighting::AtStart:
    case Sighting::Complete:
        offer(entry, state);
        break;
    case Sighting::Changed:
        settle(entry, state);
        break;
    case Sighting::Looked:
        // The same size and time as at the look before: complete.
        if (state == entry->seen)
            offer(entry, state);
        else
            entry->seen = state;
        break;
    }
}

FolderWatcher::Entry *FolderWatcher::track(const QString &path, const FileState &state,
                                           bool atStart)
{
    auto entry = m_files.find(path);
    if (entry != m_files.end())
        return &entry.value();
    Entry fresh;
    fresh.job = makeJob(path, m_rule);
    // The first file to name a target keeps it, as in a batch.
    ConversionJob claim = fresh.job;
    fresh.ownsTarget = m_claims.claim(&claim);
    if (atStart && isReportCurrent(fresh.job))
        fresh.handled = state;
    return &m_files.insert(path, fresh).value();
}

void FolderWatcher::settle(Entry *entry, const FileState &state)
{
    if (entry->steadySince.isValid())
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
        if (entry->ownsTarget)
            m_claims.release(entry->job);
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
    noteFile(path, Sighting::Changed);
}

void FolderWatcher::folderAdded(const QString &folder)
{
    if (m_recursive)
        watchFolder(folder, false);
}

void FolderWatcher::scanChangedFolders()
{
    const QSet<QString> folders = std::exchange(m_changedFolders, {});
    for (const QString &folder : folders)
        scanFolder(folder, false);
}

void FolderWatcher::rescanNotified()
{
    // Events were lost: whatever changed is found by reading every folder,
    // and no running conversion is known to have read the newest version.
    for (Entry &entry : m_files) {
        if (entry.busy)
            entry.changedAfterRead = true;
    }
    const QSet<QString> folders = m_watchedFolders - m_polledFolders;
    for (const QString &folder : folders) {
        if (m_watchedFolders.contains(folder))
            scanFolder(folder, false);
    }
}

void FolderWatcher::lookAgain()
{
    const QSet<QString> folders = m_polledFolders;
    for (const QString &folder : folders) {
        if (!m_polledFolders.contains(folder))
            continue; // gone with its parent
        // A folder whose time is that of its last listing holds the same
        // entries (each one made, removed or renamed sets it): only its
        // files are looked at, which on a share saves a round trip or more
        // per file. A folder changed within YoungMs is listed anyway, for
        // file systems that keep its time in whole seconds.
        const auto listing = m_listings.constFind(folder);
        const QDateTime modified = QFileInfo(folder).lastModified();
        if (listing == m_listings.constEnd() || listing->modified != modified
            || ConversionQueue::changedWithin(modified, YoungMs)) {
            scanFolder(folder, false);
            continue;
        }
        const QStringList files = listing->files;
        for (const QString &path : files)
            noteFile(path, Sighting::Looked);
    }
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
        } else if (entry->steadySince.elapsed() < SettleMs) {
            settling = true;
        } else {
            entry->steadySince.invalidate();
            offer(&entry.value(), now);
        }
    }
    for (const QString &path : qAsConst(gone))
        forgetFile(path);
    if (!settling)
        m_settleTimer.stop();
}

void FolderWatcher::offer(Entry *entry, const FileState &state)
{
    // One conversion of a file at a time; the newest version follows.
    if (entry->busy)
        entry->pending = true;
    else
        submit(entry, state);
}

void FolderWatcher::submit(Entry *entry, const FileState &state)
{
    entry->handled = state;
    entry->pending = false;
    entry->held = false;
    entry->steadySince.invalidate();
    entry->read = false;
    entry->changedAfterRead = false;
    ConversionJob job = entry->job;
    if (!entry->ownsTarget)
        entry->ownsTarget = m_claims.claim(&job);
    entry->busy = true;
    m_converter->add(job);
}

void FolderWatcher::conversionEnded(const ConversionJob &job)
{
    if (!m_files.contains(job.source))
        return;
    // Looked at before the events queued until now are told: when none of
    // them changed the file after the conversion read it, this is the
    // version it read, whatever completed while it ran.
    const FileState now = stateOf(job.source);
    m_inotify->readEvents();
    const auto entry = m_files.find(job.source);
    if (entry == m_files.end())
        return;
    entry->busy = false;
    if (entry->read && !entry->changedAfterRead && now.size >= 0) {
        entry->handled = now;
        entry->pending = false;
    }
    if (!entry->pending)
        return;
    const FileState state = stateOf(job.source);
    entry->pending = false;
    if (state.size >= 0 && state != entry->handled)
        submit(&entry.value(), state);
}

void FolderWatcher::failureHeld(const ConversionJob &job)
{
    const auto entry = m_files.find(job.source);
    if (entry == m_files.end())
        return;
    entry->held = true;
    QTimer::singleShot(YoungMs, this, [this, path = job.source] { retryHeld(path); });
    conversionEnded(job);
}

void FolderWatcher::retryHeld(const QString &path)
{
    const auto entry = m_files.find(path);
    if (entry == m_files.end() || !entry->held || entry->busy)
        return;
    const FileState state = stateOf(path);
    if (state.size < 0)
        forgetFile(path);
    else
        submit(&entry.value(), state);
}
