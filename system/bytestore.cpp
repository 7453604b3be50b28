#include "system/bytestore.h"

qint64 ByteStore::append(const QByteArray &bytes, QString *reason)
{
    if (!m_created) {
        if (!m_file.create(reason))
            return -1;
        m_created = true;
    }
    const qint64 start = m_size;
    if (!m_file.writeAt(start, bytes.constData(), size_t(bytes.size()))) {
        *reason = m_file.writeFailure();
        return -1;
    }
    m_size += bytes.size();
    return start;
}

size_t ByteStore::read(qint64 offset, char *data, size_t length) const
{
    return m_created ? m_file.readAt(offset, data, length) : 0;
}
