#include "system/bytestore.h"

#include "system/systemerror.h"

#include <QFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
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

size_t readAt(int descriptor, qint64 offset, char *data, size_t length)
{
    return transferAt([&](size_t done,
                          off_t at) { return ::pread(descriptor, data + done, length - done, at); },
                      offset, length);
}

size_t writeAt(int descriptor, qint64 offset, const char *data, size_t length)
{
    return transferAt(
            [&](size_t done, off_t at) {
                return ::pwrite(descriptor, data + done, length - done, at);
            },
            offset, length);
}
#endif

} // namespace

bool ByteStore::readFile(const QString &path, QByteArray *contents, QString *reason)
{
#ifdef Q_OS_UNIX
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        *reason = systemErrorText(errno);
        return false;
    }
    struct stat info;
    bool whole = ::fstat(descriptor, &info) == 0;
    if (whole) {
        contents->resize(int(info.st_size));
        whole = readAt(descriptor, 0, contents->data(), size_t(contents->size()))
                == size_t(contents->size());
    }
    const int error = errno;
    ::close(descriptor);
    if (!whole)
        *reason = systemErrorText(error);
    return whole;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return false;
    }
    *contents = file.readAll();
    return true;
#endif
}

qint64 ByteStore::append(const QByteArray &bytes, QString *reason)
{
    if (!m_file.isOpen() && !m_file.open()) {
        *reason = m_file.errorString();
        return -1;
    }
    const qint64 start = m_size;
#ifdef Q_OS_UNIX
    if (writeAt(m_file.handle(), start, bytes.constData(), size_t(bytes.size()))
        != size_t(bytes.size())) {
        *reason = systemErrorText(errno);
        return -1;
    }
#else
    if (!m_file.seek(start) || m_file.write(bytes) != bytes.size()) {
        *reason = m_file.errorString();
        return -1;
    }
#endif
    m_size += bytes.size();
    return start;
}

size_t ByteStore::read(qint64 offset, char *data, size_t length)
{
#ifdef Q_OS_UNIX
    return readAt(m_file.handle(), offset, data, length);
#else
    return m_file.seek(offset) ? size_t(qMax<qint64>(0, m_file.read(data, qint64(length)))) : 0;
#endif
}
