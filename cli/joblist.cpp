#include "cli/joblist.h"

#include "engine/reportpaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace {

// The path a file is known by whatever way it was reached; a dangling
// link by its own path.
QString identity(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

#ifdef Q_OS_UNIX
// A name's bytes for a message: what is not printable ASCII as \xNN.
QString escapedBytes(const QByteArray &raw)
{
    constexpr uchar FirstPrintable = 0x20;
    constexpr uchar LastPrintable = 0x7E;
    QString shown;
    for (const char c : raw) {
        const auto byte = uchar(c);
        shown += byte >= FirstPrintable && byte <= LastPrintable
                         ? QString(QLatin1Char(c))
                         : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return shown;
}

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
        problems->append(QCoreApplication::translate(
                                 "belmorand-cli",
                                 "Die Datei %1 wird nicht konvertiert: ihr Name ist kein gültiges "
                                 "UTF-8, und dieses Programm (mit Qt 6 gebaut) kann ihn nicht "
                                 "öffnen.")
                                 .arg(QDir(folder).filePath(escapedBytes(raw))));
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
    { }

    // A file given by name is always listed, also twice.
    void addFile(const QString &path)
    {
        m_seen.insert(identity(path));
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
    // Each set only learns something new once: a path is resolved once.
    static bool isNew(QSet<QString> *known, const QString &path)
    {
        const QString id = identity(path);
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
                    QCoreApplication::translate(
                            "belmorand-cli",
                            "der Ordner %1 lässt sich nicht lesen (keine Berechtigung)")
                            .arg(folder));
            return;
        }
#ifdef Q_OS_UNIX
        findUndecodable(folder, &m_findings->unreadable);
#endif
        // System: a dangling link or a FIFO named ".json" is named, not skipped.
        const QStringList names
                = dir.entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
        for (const QString &name : names) {
            const QString path = dir.filePath(name);
            if (ReportPaths::isConfiguration(name) && isNew(&m_seen, path))
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
    QSet<QString> m_seen;
    QSet<QString> m_folders;
};

QString targetFor(const QString &source, const TargetRule &rule)
{
    if (!rule.outputFile.isEmpty())
        return QFileInfo(rule.outputFile).absoluteFilePath();
    return ReportPaths::inFolder(source, rule.outputDir.isEmpty() ? QFileInfo(source).absolutePath()
                                                                  : rule.outputDir);
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
    QStringList paths = dir.entryList(
            QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    for (QString &name : paths)
        name = dir.filePath(name);
    return paths;
}

ConversionJob makeJob(const QString &file, const TargetRule &rule)
{
    return {QFileInfo(file).absoluteFilePath(), QDir::cleanPath(targetFor(file, rule)), {}};
}

void refuseTarget(ConversionJob *job, const QString &writer)
{
    job->refusal = QCoreApplication::translate("belmorand-cli",
                                               "Die Datei %1 wird nicht konvertiert: ihr "
                                               "Bericht %2 entstünde schon aus %3.")
                           .arg(job->source, job->target, writer);
}

QVector<ConversionJob> makeJobs(const QStringList &files, const TargetRule &rule)
{
    QVector<ConversionJob> jobs;
    TargetClaims claims;
    for (const QString &file : files) {
        ConversionJob job = makeJob(file, rule);
        claims.claim(&job);
        jobs.append(job);
    }
    return jobs;
}

bool TargetClaims::claim(ConversionJob *job)
{
    const auto earlier = m_writers.constFind(job->target);
    if (earlier != m_writers.constEnd()) {
        refuseTarget(job, earlier.value());
        return false;
    }
    m_writers.insert(job->target, job->source);
    return true;
}

void TargetClaims::release(const ConversionJob &job)
{
    const auto holder = m_writers.find(job.target);
    if (holder != m_writers.end() && holder.value() == job.source)
        m_writers.erase(holder);
}

bool isReportCurrent(const ConversionJob &job)
{
    const QFileInfo source(job.source);
    const QFileInfo report(job.target);
    return source.isFile() && report.isFile() && report.lastModified() >= source.lastModified();
}

int dropCurrentJobs(QVector<ConversionJob> *jobs)
{
    const auto kept = std::remove_if(jobs->begin(), jobs->end(), [](const ConversionJob &job) {
        return job.refusal.isEmpty() && isReportCurrent(job);
    });
    const int dropped = int(std::distance(kept, jobs->end()));
    jobs->erase(kept, jobs->end());
    return dropped;
}
