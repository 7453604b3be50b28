#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

// The file a report is written to. The report is written to a temporary
// file in the target's folder and takes the target's name only once it is
// complete, so a failed or interrupted conversion never destroys an earlier
// report and leaves nothing partial.
//
// - A folder at the target, a missing folder or a write-protected earlier
//   report is refused before anything is written.
// - On Linux the temporary file has no name at all (O_TMPFILE, mode 0600,
//   reached through /proc/self/fd): even a killed process or a power cut
//   leaves nothing behind. Where that is not to be had, it is a hidden
//   ".<report>.XXXXXX.part" beside the target, removed again on failure.
// - commit() takes it only if it is a complete PDF ("%PDF-" at the start,
//   "startxref" and "%%EOF" at the end), gives it its mode, puts it on disk
//   (fdatasync) and then names it: a new report in one step (linkat), an
//   earlier one replaced atomically (a short-lived name, then rename()).
// - Modes (POSIX): a new report gets 0666 less the umask read by
//   initialise(); a replaced report keeps its permission bits; a link at the
//   target is replaced by a file of its own with a new report's mode.
//
// Not QSaveFile: its temporary file has a name from the first byte on, which
// an interrupted run leaves beside the reports. Here the file has none until
// it is complete, and gets its mode by the rules above just before it is
// named.
class ReportFile
{
    Q_DECLARE_TR_FUNCTIONS(ReportFile)

public:
    explicit ReportFile(const QString &target);
    ~ReportFile(); // discards the temporary file unless committed

    // Reads the process's umask, which new reports follow. Call once on the
    // main thread before any report is written.
    static void initialise();

    // Creates the temporary file in the target's folder.
    bool reserve(QString *reason);
    // The path the report is written to until commit().
    QString temporaryPath() const { return m_temporary; }

    // Checks that the temporary file holds a complete PDF and puts it in
    // the target's place in one step.
    bool commit(QString *reason);

    static bool isCompletePdf(const QString &path);

private:
    Q_DISABLE_COPY(ReportFile)

    bool checkTarget(QString *reason);
    bool reserveNamed(QString *reason);
    QString cannotWrite(const QString &why) const;
    QString incompleteReason() const;
    bool nameBesideTarget();
    bool publish(QString *reason);

    QString m_target;
    QString m_temporary;
    QString m_named; // the temporary file's name, when it has one
    int m_descriptor = -1; // the unnamed temporary file
    bool m_targetExists = false;
    uint m_mode = 0; // the report's permission bits
    bool m_committed = false;
};
