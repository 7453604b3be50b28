#include "system/scratchfile.h"

#include "system/systemerror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Writes go to the file in pieces of this size: a PDF writer hands over
// a few bytes at a time.
constexpr int PendingLimit = 1 << 20;

#ifdef Q_OS_UNIX
constexpr mode_t PrivateMode = 0600;

int openUnnamed(const QString &folder)
{
    const QByteArray local = QFile::encodeName(folder);
#ifdef O_TMPFILE
    const int unnamed
            = ::open(local.constData(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, PrivateMode);
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return unnamed;
#endif
    // A unique name made exclusively, without following links, and
    // removed at once.
    QByteArray name = local + "/.belmorand-XXXXXX";
    const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor >= 0)
        ::unlink(name.constData());
    return descriptor;
}

// pread() and pwrite() until length bytes are done, or the file ends, or
// an error; the bytes done.
template<typename Transfer>
size_t transferAt(Transfer transfer, qint64 offset, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t count = transfer(done, off_t(offset) + off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += size_t(count);
    }
    return done;
}
#endif

} // namespace

ScratchFile::ScratchFile(QObject *parent)
    : QIODevice(parent)
{ }

ScratchFile::~ScratchFile()
{
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0)
        ::close(m_descriptor);
#endif
}

bool ScratchFile::create(QString *reason)
{
    const QString folder = QDir::tempPath();
#ifdef Q_OS_UNIX
    m_descriptor = openUnnamed(folder);
    if (m_descriptor < 0) {
        *reason = tr("Im temporären Ordner %1 lässt sich keine Datei anlegen: %2.")
                          .arg(folder, systemErrorText(errno));
        return false;
    }
#else
    m_fallback = std::make_unique<QTemporaryFile>();
    if (!m_fallback->open()) {
        *reason = tr("Im temporären Ordner %1 lässt sich keine Datei anlegen: %2.")
                          .arg(folder, m_fallback->errorString());
        return false;
    }
#endif
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

QString ScratchFile::writeFailure() const
{
    if (m_writeError == ENOSPC)
        return tr("Der temporäre Ordner %1 ist voll.").arg(QDir::tempPath());
    return tr("Eine Datei im temporären Ordner %1 lässt sich nicht schreiben: %2.")
            .arg(QDir::tempPath(), systemErrorText(m_writeError));
}

size_t ScratchFile::readAt(qint64 offset, char *data, size_t length) const
{
#ifdef Q_OS_UNIX
    return transferAt(
            [&](size_t done, off_t at) {
                return ::pread(m_descriptor, data + done, length - done, at);
            },
            offset, length);
#else
    if (!m_fallback->seek(offset))
        return 0;
    return size_t(qMax<qint64>(0, m_fallback->read(data, qint64(length))));
#endif
}

bool ScratchFile::writeAt(qint64 offset, const char *data, size_t length)
{
    if (m_writeError != 0)
        return false;
#ifdef Q_OS_UNIX
    const size_t done = transferAt(
            [&](size_t written, off_t at) {
                return ::pwrite(m_descriptor, data + written, length - written, at);
            },
            offset, length);
    if (done != length) {
        // A short write without an error is a full disk.
        m_writeError = errno != 0 ? errno : ENOSPC;
        return false;
    }
#else
    if (!m_fallback->seek(offset) || m_fallback->write(data, qint64(length)) != qint64(length)) {
        m_writeError = EIO;
        return false;
    }
#endif
    m_size = qMax(m_size, offset + qint64(length));
    return true;
}

bool ScratchFile::flush()
{
    if (m_pending.isEmpty())
        return m_writeError == 0;
    const bool written = writeAt(m_pendingAt, m_pending.constData(), size_t(m_pending.size()));
    m_pendingAt += m_pending.size();
    m_pending.clear();
    return written;
}

bool ScratchFile::readAll(QByteArray *contents, QString *reason)
{
    if (!flush()) {
        *reason = writeFailure();
        return false;
    }
    contents->resize(int(m_size));
    if (readAt(0, contents->data(), size_t(m_size)) != size_t(m_size)) {
        *reason = tr("Eine Datei im temporären Ordner %1 lässt sich nicht lesen: %2.")
                          .arg(QDir::tempPath(), systemErrorText(errno));
        contents->clear();
        return false;
    }
    return true;
}

bool ScratchFile::seek(qint64 pos)
{
    flush();
    m_pendingAt = pos;
    return QIODevice::seek(pos);
}

// The device closes; the file stays, for reading, until the object goes.
void ScratchFile::close()
{
    flush();
    QIODevice::close();
}

qint64 ScratchFile::readData(char *data, qint64 maxSize)
{
    flush();
    return qint64(readAt(pos(), data, size_t(maxSize)));
}

qint64 ScratchFile::writeData(const char *data, qint64 length)
{
    if (m_pending.isEmpty())
        m_pendingAt = pos();
    m_pending.append(data, int(length));
    if (m_pending.size() >= PendingLimit && !flush())
        return -1;
    return length;
}
