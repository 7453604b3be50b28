#include "cli/joblist.h"

#include "cli/console.h"
#include "system/reportpaths.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMultiHash>
#include <QSet>

#include <algorithm>
#include <functional>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace {

// The path a folder is known by whatever way it was reached.
QString folderIdentity(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

// A file by the rule that tells two reports apart: its folder resolved.
QString fileIdentity(const QString &path)
{
    return ConversionQueue::reportIdentity(path);
}

// Which item of a list first had a key, holding only each key's hash and
// that item's index (some 40 bytes an item, not the key): a recurring hash
// works out the earlier items' keys again, so a collision costs time, never
// a wrong answer.
class FirstByKey
{
public:
    explicit FirstByKey(std::function<QString(int)> keyOf)
        : m_keyOf(std::move(keyOf))
    { }

    // The index of the first item that had key; -1, with index remembered
    // as that first, when there was none.
    int claim(const QString &key, int index)
    {
        const uint hash = qHash(key);
        const QList<int> earlier = m_first.values(hash);
        for (const int item : earlier) {
            if (m_keyOf(item) == key)
                return item;
        }
        m_first.insert(hash, index);
        return -1;
    }

private:
    std::function<QString(int)> m_keyOf;
    QMultiHash<uint, int> m_first;
};

// The names of a folder's entries that filters let through and keep accepts,
// in the order of QDir::Name. QDir::entryList would hold the file
// information of every entry while it sorts, some 460 bytes each, and a
// folder of configurations beside their reports has two entries a file.
QStringList sortedNames(const QString &folder, QDir::Filters filters,
                        const std::function<bool(const QString &)> &keep)
{
    QStringList names;
    QDirIterator entries(folder, filters);
    while (entries.hasNext()) {
        entries.next();
        const QString name = entries.fileName();
        if (keep(name))
            names.append(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef Q_OS_UNIX
// Qt leaves a name it cannot decode out of its listing without a word (Qt 6
// decodes names as UTF-8 only); such files are named here instead.
void findUndecodable(const QString &folder, QStringList *problems)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (!raw.endsWith(ReportPaths::JsonSuffix.data())
            || QFile::encodeName(QFile::decodeName(raw)) == raw)
            continue;
        problems->append(
                Console::text("Die Datei %1 wird nicht konvertiert: ihr Name ist kein gültiges "
                              "UTF-8, und dieses Programm (mit Qt 6 gebaut) kann ihn nicht "
                              "öffnen.")
                        .arg(QDir(folder).filePath(Console::escapedBytes(raw))));
    }
    ::closedir(dir);
}
#endif

class FolderWalk
{
public:
    FolderWalk(bool recursive, QStringList *files, FolderFindings *findings)
        : m_recursive(recursive)
        , m_files(files)
        , m_findings(findings)
        , m_seen([files](int index) { return fileIdentity(files->at(index)); })
    { }

    // A file given by name is always listed, also twice.
    void addFile(const QString &path)
    {
        m_seen.claim(fileIdentity(path), int(m_files->size()));
        m_files->append(path);
    }

    // Lists the folder's configurations (and its subfolders' when
    // recursive). False when the folder was walked before, under this path
    // or another.
    bool walk(const QString &folder)
    {
        if (!isNew(&m_folders, folder))
            return false;
        collect(folder);
        return true;
    }

private:
    // A path is resolved once.
    static bool isNew(QSet<QString> *known, const QString &path)
    {
        const QString id = folderIdentity(path);
        if (known->contains(id))
            return false;
        known->insert(id);
        return true;
    }

    void collect(const QString &folder)
    {
        const QDir dir(folder);
        const QFileInfo info(folder);
        if (!info.isReadable() || !info.isExecutable()) {
            m_findings->unreadable.append(
                    Console::text("der Ordner %1 lässt sich nicht lesen (keine Berechtigung)")
                            .arg(folder));
            return;
        }
#ifdef Q_OS_UNIX
        findUndecodable(folder, &m_findings->unreadable);
#endif
        // System: a dangling link or a FIFO named ".json" is named, not skipped.
        const QStringList names = sortedNames(folder, QDir::Files | QDir::System | QDir::Hidden,
                                              ReportPaths::isConfiguration);
        for (const QString &name : names) {
            const QString path = dir.filePath(name);
            if (m_seen.claim(fileIdentity(path), int(m_files->size())) < 0)
                m_files->append(path);
        }
        if (!m_recursive)
            return;
        for (const QString &subfolder : subfolders(folder))
            walk(subfolder);
    }

    bool m_recursive;
    QStringList *m_files;
    FolderFindings *m_findings;
    FirstByKey m_seen; // the files listed, by identity
    QSet<QString> m_folders;
};

QString targetFor(const QString &source, const TargetRule &rule)
{
    if (!rule.outputFile.isEmpty())
        return QFileInfo(rule.outputFile).absoluteFilePath();
    return ReportPaths::inFolder(source, rule.outputDir.isEmpty() ? QFileInfo(source).absolutePath()
                                                                  : rule.outputDir);
}

QString changesTarget(const QString &after, const TargetRule &rule)
{
    if (!rule.outputFile.isEmpty())
        return QFileInfo(rule.outputFile).absoluteFilePath();
    return rule.outputDir.isEmpty() ? ReportPaths::changesBeside(after)
                                    : ReportPaths::changesInFolder(after, rule.outputDir);
}

// The configurations in folder by their paths inside it.
QHash<QString, QString> byRelativePath(const QStringList &files, const QString &folder)
{
    QHash<QString, QString> found;
    const QDir dir(folder);
    for (const QString &file : files)
        found.insert(dir.relativeFilePath(file), file);
    return found;
}

} // namespace

QStringList expandPaths(const QStringList &paths, bool recursive, FolderFindings *findings)
{
    QStringList files;
    FolderWalk walk(recursive, &files, findings);
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            walk.addFile(info.absoluteFilePath());
            continue;
        }
        const int before = files.size();
        const int unreadable = findings->unreadable.size();
        if (walk.walk(info.absoluteFilePath()) && files.size() == before
            && findings->unreadable.size() == unreadable)
            findings->empty.append(path);
    }
    return files;
}

QStringList subfolders(const QString &folder)
{
    // Linked folders are not followed: a link back up would never end.
    const QDir dir(folder);
    QStringList paths = sortedNames(
            folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden,
            [](const QString &) { return true; });
    for (QString &name : paths)
        name = dir.filePath(name);
    return paths;
}

ConversionJob makeJob(const QString &file, const TargetRule &rule)
{
    return {QFileInfo(file).absoluteFilePath(), QDir::cleanPath(targetFor(file, rule)), {}, {}};
}

void refuseTarget(ConversionJob *job, const QString &writer)
{
    job->refusal = Console::text("Die Datei %1 wird nicht konvertiert: ihr "
                                 "Bericht %2 entstünde schon aus %3.")
                           .arg(job->source, job->target, writer);
}

QVector<ConversionJob> makeJobs(const QStringList &files, const TargetRule &rule, int *current)
{
    QVector<ConversionJob> jobs;
    FirstByKey writers(
            [&](int index) { return fileIdentity(makeJob(files.at(index), rule).target); });
    for (int i = 0; i < files.size(); ++i) {
        ConversionJob job = makeJob(files.at(i), rule);
        const int earlier = writers.claim(fileIdentity(job.target), i);
        if (earlier >= 0)
            refuseTarget(&job, makeJob(files.at(earlier), rule).source);
        else if (current && isReportCurrent(job)) {
            ++*current;
            continue;
        }
        jobs.append(job);
    }
    return jobs;
}

bool TargetClaims::claim(ConversionJob *job)
{
    const QString report = fileIdentity(job->target);
    const auto earlier = m_writers.constFind(report);
    if (earlier != m_writers.constEnd()) {
        refuseTarget(job, earlier.value());
        return false;
    }
    m_writers.insert(report, job->source);
    return true;
}

void TargetClaims::release(const ConversionJob &job)
{
    const auto holder = m_writers.find(fileIdentity(job.target));
    if (holder != m_writers.end() && holder.value() == job.source)
        m_writers.erase(holder);
}

bool isReportCurrent(const ConversionJob &job)
{
    const QFileInfo source(job.source);
    const QFileInfo report(job.target);
    return source.isFile() && report.isFile() && report.lastModified() >= source.lastModified();
}

ComparePairs pairStates(const QString &before, const QString &after, bool recursive,
                        const TargetRule &rule, FolderFindings *findings)
{
    ComparePairs pairs;
    QList<QPair<QString, QString>> states;
    if (!QFileInfo(before).isDir()) {
        states.append({QFileInfo(before).absoluteFilePath(), QFileInfo(after).absoluteFilePath()});
    } else {
        const QString beforeFolder = QFileInfo(before).absoluteFilePath();
        const QString afterFolder = QFileInfo(after).absoluteFilePath();
        const QStringList beforeFiles = expandPaths({beforeFolder}, recursive, findings);
        const QStringList afterFiles = expandPaths({afterFolder}, recursive, findings);
        const QHash<QString, QString> earlier = byRelativePath(beforeFiles, beforeFolder);
        const QHash<QString, QString> later = byRelativePath(afterFiles, afterFolder);
        for (const QString &file : beforeFiles) {
            if (!later.contains(QDir(beforeFolder).relativeFilePath(file)))
                pairs.onlyBefore.append(file);
        }
        for (const QString &file : afterFiles) {
            const QString earlierFile = earlier.value(QDir(afterFolder).relativeFilePath(file));
            if (earlierFile.isEmpty())
                pairs.onlyAfter.append(file);
            else
                states.append({earlierFile, file});
        }
    }
    QHash<QString, QString> writers; // a change report's identity -> its later file
    for (const auto &state : qAsConst(states)) {
        const ChangeReportJob job {state.first, state.second,
                                   QDir::cleanPath(changesTarget(state.second, rule))};
        const QString identity = fileIdentity(job.target);
        const QString writer = writers.value(identity);
        if (!writer.isEmpty()) {
            pairs.refused.append(Console::text("Die Dateien %1 und %2 werden nicht verglichen: "
                                               "ihr Änderungsprotokoll %3 entstünde schon aus %4.")
                                         .arg(job.before, job.after, job.target, writer));
            continue;
        }
        writers.insert(identity, job.after);
        pairs.jobs.append(job);
    }
    return pairs;
}
