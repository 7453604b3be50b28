#pragma once

#include "engine/conversionqueue.h"
#include "report/changereport.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// Where the reports go.
struct TargetRule
{
    QString outputFile; // -o: the one report's name
    QString outputDir; // -d: every report in this folder, under its own name
};

// What looking into folders found besides files.
struct FolderFindings
{
    QStringList empty; // folders given that hold no ".json" file
    QStringList unreadable; // why a folder or a file in it cannot be read, one message each
};

// The configuration files a list of paths names: a file as given, a folder
// as the ".json" entries directly inside it (or below it when recursive), in
// name order. Entries that are no regular file (a dangling link, a FIFO) are
// listed too, so their conversion says what is wrong with them. A file
// reached again through a folder (the same folder given twice, or through a
// link) is listed once.
QStringList expandPaths(const QStringList &paths, bool recursive, FolderFindings *findings);

// The folders directly inside folder that a recursive walk enters, in name
// order: linked folders are not followed.
QStringList subfolders(const QString &folder);

// The job for one file, with its target.
ConversionJob makeJob(const QString &file, const TargetRule &rule);

// Refuses job: writer already writes its target.
void refuseTarget(ConversionJob *job, const QString &writer);

// Who writes which report: the first source to claim a target keeps it, so
// no two conversions write one file. The watcher's claims: its files come
// and go. makeJobs() keeps the same rule for a batch's fixed list in a few
// bytes a file (hash and index), since a batch may name a million files.
class TargetClaims
{
public:
    // Claims job's target for its source; false, and job refused, when an
    // earlier claim holds it (also one of the same source: a file given
    // twice is converted once).
    bool claim(ConversionJob *job);
    // Gives up the target job's source holds (the source is gone).
    void release(const ConversionJob &job);

private:
    QHash<QString, QString> m_writers; // a report's identity -> the source that writes it
};

// Jobs for the files, with their targets. A target that an earlier job of the
// list already writes is refused, so no two conversions write one file. With
// current given, a job whose report is current is left out and counted there
// (a refused one stays, so its reason is still told); only its claim on the
// target is kept.
QVector<ConversionJob> makeJobs(const QStringList &files, const TargetRule &rule,
                                int *current = nullptr);

// Whether the job's report exists and is not older than its source, as make
// sees a target and its prerequisite.
bool isReportCurrent(const ConversionJob &job);

// The change reports for two states of the same devices.
struct ComparePairs
{
    QVector<ChangeReportJob> jobs;
    QStringList onlyBefore; // files in the earlier folder only
    QStringList onlyAfter; // files in the later folder only
    QStringList refused; // why a pair gets no change report: another pair's has its name
};

// Two files give one change report; two folders one for every file found in
// both, paired by its path inside the folder (with recursive, in subfolders
// too), in the later folder's name order. Each goes beside its later file as
// NAME-aenderungen.pdf, or where rule says.
ComparePairs pairStates(const QString &before, const QString &after, bool recursive,
                        const TargetRule &rule, FolderFindings *findings);
