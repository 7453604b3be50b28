#include "cli/joblist.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

const QLatin1String JsonSuffix(".json");
const QLatin1String PdfSuffix(".pdf");

void collectFolder(const QString &folder, bool recursive, QStringList *files)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        if (name.endsWith(JsonSuffix))
            files->append(dir.filePath(name));
    }
    if (!recursive)
        return;
    // Linked folders are not followed: a link back up would never end.
    const QStringList folders = dir.entryList(
            QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    for (const QString &name : folders)
        collectFolder(dir.filePath(name), recursive, files);
}

QString reportName(const QString &source)
{
    const QString base = QFileInfo(source).fileName();
    return base.endsWith(JsonSuffix) ? base.left(base.size() - JsonSuffix.size()) + PdfSuffix
                                     : base + PdfSuffix;
}

QString targetFor(const QString &source, const TargetRule &rule)
{
    if (!rule.outputFile.isEmpty())
        return QFileInfo(rule.outputFile).absoluteFilePath();
    if (!rule.outputDir.isEmpty())
        return QDir(rule.outputDir).absoluteFilePath(reportName(source));
    return QFileInfo(source).absoluteDir().filePath(reportName(source));
}

} // namespace

QStringList expandPaths(const QStringList &paths, bool recursive, QStringList *emptyFolders)
{
    QStringList files;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            files.append(info.absoluteFilePath());
            continue;
        }
        const int before = files.size();
        collectFolder(info.absoluteFilePath(), recursive, &files);
        if (files.size() == before)
            emptyFolders->append(path);
    }
    return files;
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
    QHash<QString, QString> writers; // target -> the source that writes it
    for (const QString &file : files) {
        ConversionJob job = makeJob(file, rule);
        const auto earlier = writers.constFind(job.target);
        if (earlier != writers.constEnd())
            refuseTarget(&job, earlier.value());
        else
            writers.insert(job.target, job.source);
        jobs.append(job);
    }
    return jobs;
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
