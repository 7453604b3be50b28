#include "report/reportfile.h"

#include "engine/convert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace {

constexpr qint64 TrailerWindow = 1024; // the end of a PDF holding startxref and %%EOF

bool replaceFile(const QString &from, const QString &to, QString *error)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = QString::number(GetLastError());
    return false;
#else
    // rename() replaces the target atomically: a reader sees the old report
    // or the new one, never a mix.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#endif
}

} // namespace

ReportFile::ReportFile(const QString &target)
    : m_target(target)
{ }

ReportFile::~ReportFile()
{
    if (!m_committed && !m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

bool ReportFile::reserve(QString *reason)
{
    const QFileInfo target(m_target);
    if (target.isDir()) {
        *reason = convert::tr(
                          "Der Bericht %1 kann nicht geschrieben werden: dort liegt ein Ordner.")
                          .arg(m_target);
        return false;
    }
    const QDir folder = target.absoluteDir();
    if (!folder.exists()) {
        *reason = convert::tr("Der Bericht %1 kann nicht geschrieben werden: der Ordner %2 "
                              "existiert nicht.")
                          .arg(m_target, folder.path());
        return false;
    }
    QTemporaryFile file(
            folder.filePath(QLatin1Char('.') + target.fileName() + QLatin1String(".XXXXXX.part")));
    file.setAutoRemove(false);
    if (!file.open()) {
        *reason = convert::tr("Der Bericht %1 kann nicht geschrieben werden: im Ordner %2 lässt "
                              "sich keine Datei anlegen (%3).")
                          .arg(m_target, folder.path(), file.errorString());
        return false;
    }
    m_temporary = file.fileName();
    file.close();
    // A report is an ordinary document: readable like the one it replaces.
    const QFileDevice::Permissions permissions
            = target.exists() ? QFile::permissions(m_target)
                              : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(m_temporary, permissions);
    return true;
}

bool ReportFile::commit(QString *reason)
{
    if (!isCompletePdf(m_temporary)) {
        *reason = convert::tr("Der Bericht %1 konnte nicht vollständig geschrieben werden "
                              "(Datenträger voll?).")
                          .arg(m_target);
        return false;
    }
    QString error;
    if (!replaceFile(m_temporary, m_target, &error)) {
        *reason = convert::tr("Der Bericht %1 kann nicht ersetzt werden (%2).")
                          .arg(m_target, error);
        return false;
    }
    m_committed = true;
    return true;
}

bool ReportFile::isCompletePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.read(5).startsWith("%PDF-"))
        return false;
    const qint64 size = file.size();
    if (!file.seek(qMax<qint64>(0, size - TrailerWindow)))
        return false;
    const QByteArray tail = file.readAll();
    return tail.size() == qMin(size, TrailerWindow) && tail.contains("startxref")
           && tail.trimmed().endsWith("%%EOF");
}
