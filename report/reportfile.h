#pragma once

#include <QString>
#include <QtGlobal>

// The file a report is written to. The report goes to a temporary file
// beside the target and replaces the target only once it is complete, so a
// failed conversion never destroys an earlier report.
class ReportFile
{
public:
    explicit ReportFile(const QString &target);
    ~ReportFile(); // removes the temporary file unless committed

    // Creates the temporary file in the target's folder.
    bool reserve(QString *reason);
    QString temporaryPath() const { return m_temporary; }

    // Checks that the temporary file holds a complete PDF and moves it over
    // the target in one step.
    bool commit(QString *reason);

    static bool isCompletePdf(const QString &path);

private:
    Q_DISABLE_COPY(ReportFile)

    QString m_target;
    QString m_temporary;
    bool m_committed = false;
};
