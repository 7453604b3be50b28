#include "system/reportfile.h"

#include "system/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 TrailerWindow = 1024; // the end of a PDF holding startxref and %%EOF
constexpr uint DefaultMode = 0666; // a new report before the umask: a document anyone may read
constexpr uint PrivateMode = 0600; // while it is written
constexpr uint PermissionBits = 07777;
constexpr int NameMax = 255; // bytes in one name on the usual file systems
// Short on purpose: a temporary name derived from a long report name would
// not fit where the report's own name just fits.
const QLatin1String ShortPattern(".belmorand-XXXXXX.part");
const QLatin1String NamedSuffix(".XXXXXX.part");
constexpr int TemporaryTries = 16;

uint g_umask = 022;

#ifndef Q_OS_WIN
QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}
#endif

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
    if (std::rename(nativePath(from).constData(), nativePath(to).constData()) == 0)
        return true;
    *error = systemErrorText(errno);
    return false;
#endif
}

// A temporary name in folder that fits beside any report name.
QString temporaryPattern(const QDir &folder, const QString &reportName)
{
    const QString named = QLatin1Char('.') + reportName + NamedSuffix;
    return folder.filePath(QFile::encodeName(named).size() <= NameMax ? named : ShortPattern);
}

} // namespace

ReportFile::ReportFile(const QString &target)
    : m_target(target)
{ }

ReportFile::~ReportFile()
{
#ifndef Q_OS_WIN
    if (m_descriptor >= 0)
        ::close(m_descriptor); // an unnamed file vanishes with its last descriptor
#endif
    if (!m_committed && !m_named.isEmpty())
        QFile::remove(m_named);
}

void ReportFile::initialise()
{
#ifndef Q_OS_WIN
    // umask() can only be read by setting it; done once, before any thread
    // creates files.
    g_umask = ::umask(0);
    ::umask(g_umask);
#endif
}

QString ReportFile::cannotWrite(const QString &why) const
{
    return tr("Der Bericht %1 kann nicht geschrieben werden: %2.").arg(m_target, why);
}

bool ReportFile::checkTarget(QString *reason)
{
    const QFileInfo target(m_target);
    if (target.isDir()) {
        *reason = cannotWrite(tr("dort liegt ein Ordner"));
        return false;
    }
    const QDir folder = target.absoluteDir();
    m_mode = DefaultMode & ~g_umask;
#ifndef Q_OS_WIN
    struct stat info;
    if (::stat(nativePath(folder.path()).constData(), &info) != 0) {
        *reason = cannotWrite(
                errno == ENOENT ? tr("der Ordner %1 existiert nicht").arg(folder.path())
                                : tr("Ordner %1: %2").arg(folder.path(), systemErrorText(errno)));
        return false;
    }
    if (::lstat(nativePath(m_target).constData(), &info) == 0) {
        m_targetExists = true;
        // A link is replaced by a file of its own, not given its target's mode.
        if (S_ISREG(info.st_mode)) {
            m_mode = info.st_mode & PermissionBits;
            if (::access(nativePath(m_target).constData(), W_OK) != 0
                || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
                *reason = cannotWrite(tr("der vorhandene Bericht ist schreibgeschützt"));
                return false;
            }
        }
    } else if (errno != ENOENT) {
        *reason = cannotWrite(systemErrorText(errno));
        return false;
    }
#else
    if (!folder.exists()) {
        *reason = cannotWrite(tr("der Ordner %1 existiert nicht").arg(folder.path()));
        return false;
    }
    m_targetExists = target.exists();
    if (m_targetExists && !target.isWritable()) {
        *reason = cannotWrite(tr("der vorhandene Bericht ist schreibgeschützt"));
        return false;
    }
#endif
    return true;
}

bool ReportFile::reserve(QString *reason)
{
    if (!checkTarget(reason))
        return false;
#if defined(O_TMPFILE)
    const QString folder = QFileInfo(m_target).absolutePath();
    m_descriptor
            = ::open(nativePath(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, PrivateMode);
    if (m_descriptor >= 0) {
        m_temporary = QStringLiteral("/proc/self/fd/%1").arg(m_descriptor);
        if (QFileInfo::exists(m_temporary))
            return true;
        ::close(m_descriptor); // no /proc to reach it by: fall back to a name
        m_descriptor = -1;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        *reason = cannotWrite(tr("im Ordner %1 lässt sich keine Datei anlegen (%2)")
                                      .arg(folder, systemErrorText(errno)));
        return false;
    }
#endif
    return reserveNamed(reason);
}

// Where files without a name are not to be had: a hidden file beside the
// target, removed again on failure.
bool ReportFile::reserveNamed(QString *reason)
{
    const QFileInfo target(m_target);
    QTemporaryFile file(temporaryPattern(target.absoluteDir(), target.fileName()));
    file.setAutoRemove(false);
    if (!file.open()) {
        *reason = cannotWrite(tr("im Ordner %1 lässt sich keine Datei anlegen (%2)")
                                      .arg(target.absolutePath(), file.errorString()));
        return false;
    }
    m_named = file.fileName();
    m_temporary = m_named;
    return true;
}

QString ReportFile::incompleteReason() const
{
#ifndef Q_OS_WIN
    struct statvfs space;
    const QString folder = QFileInfo(m_target).absolutePath();
    if (::statvfs(nativePath(folder).constData(), &space) == 0 && space.f_bavail == 0)
        return cannotWrite(systemErrorText(ENOSPC));
#endif
    return tr("Der Bericht %1 konnte nicht vollständig geschrieben werden "
              "(Schreibfehler oder Datenträger voll).")
            .arg(m_target);
}

bool ReportFile::commit(QString *reason)
{
    if (!isCompletePdf(m_temporary)) {
        *reason = incompleteReason();
        return false;
    }
    if (!publish(reason))
        return false;
    m_committed = true;
    return true;
}

#ifndef Q_OS_WIN
// Gives the unnamed file a short-lived name beside the target, for rename().
bool ReportFile::nameBesideTarget()
{
    const QFileInfo target(m_target);
    const QByteArray unnamed = nativePath(m_temporary);
    for (int i = 0; i < TemporaryTries; ++i) {
        QTemporaryFile probe(temporaryPattern(target.absoluteDir(), target.fileName()));
        if (!probe.open())
            return false;
        const QString name = probe.fileName();
        probe.remove();
        if (::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, nativePath(name).constData(),
                     AT_SYMLINK_FOLLOW)
            == 0) {
            m_named = name;
            return true;
        }
    }
    return false;
}
#endif

// Gives the complete file its mode and the target's name.
bool ReportFile::publish(QString *reason)
{
    QString error;
#ifndef Q_OS_WIN
    const int descriptor = m_descriptor >= 0
                                   ? m_descriptor
                                   : ::open(nativePath(m_named).constData(), O_WRONLY | O_CLOEXEC);
    // On disk before it has a name: after a power cut the name never
    // stands for a file with missing pages.
    const bool stored
            = descriptor >= 0 && ::fchmod(descriptor, m_mode) == 0 && ::fdatasync(descriptor) == 0;
    const int storeError = errno;
    if (descriptor >= 0 && descriptor != m_descriptor)
        ::close(descriptor);
    if (!stored) {
        *reason = cannotWrite(systemErrorText(storeError));
        return false;
    }
    if (m_named.isEmpty()) {
        const QByteArray unnamed = nativePath(m_temporary);
        // A new report gets its name in one step; an existing one is
        // replaced through a short-lived name and rename().
        if (!m_targetExists
            && ::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, nativePath(m_target).constData(),
                        AT_SYMLINK_FOLLOW)
                       == 0)
            return true;
        if (!(m_targetExists || errno == EEXIST) || !nameBesideTarget()) {
            *reason = cannotWrite(systemErrorText(errno));
            return false;
        }
    }
#else
    QFile::setPermissions(m_named, m_targetExists ? QFile::permissions(m_target)
                                                  : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                            | QFileDevice::ReadGroup
                                                            | QFileDevice::ReadOther);
#endif
    if (!replaceFile(m_named, m_target, &error)) {
        *reason = tr("Der Bericht %1 kann nicht ersetzt werden (%2).").arg(m_target, error);
        return false;
    }
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
