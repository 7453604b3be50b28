#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

// The file a report is written to. The report is written to a temporary
// file in the target's folder and takes the target's name only once it is
// complete, so a failed or interrupted conversion never destroys an earlier
// report and leaves nothing partial. On Linux the temporary file has no name
// at all until then (O_TMPFILE): even a killed process or a power cut leaves
// nothing behind.
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
