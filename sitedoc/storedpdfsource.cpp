#include "sitedoc/storedpdfsource.h"

#include "system/bytestore.h"

#include <qpdf/QPDF.hh>

#include <cstdio>
#include <cstring>
#include <stdexcept>

StoredPdfSource::StoredPdfSource(const QString &name, const QByteArray &contents,
                                 std::shared_ptr<ByteStore> store)
    : m_name(name.toStdString())
    , m_store(std::move(store))
    , m_contents(contents)
    , m_size(m_contents.size())
{ }

std::shared_ptr<StoredPdfSource> StoredPdfSource::open(QPDF &pdf, const QString &name,
                                                       const QByteArray &contents,
                                                       const std::shared_ptr<ByteStore> &store)
{
    auto source = std::make_shared<StoredPdfSource>(name, contents, store);
    pdf.setSuppressWarnings(true);
    pdf.processInputSource(source);
    return source;
}

void StoredPdfSource::store()
{
    QString reason;
    m_start = m_store->append(m_contents, &reason);
    if (m_start < 0)
        throw std::runtime_error(reason.toStdString());
    drop();
}

void StoredPdfSource::drop()
{
    m_contents = QByteArray();
    m_held = false;
}

qpdf_offset_t StoredPdfSource::findAndSkipNextEOL()
{
    while (m_position < m_size && !isLineEnd(m_position))
        ++m_position;
    const qpdf_offset_t end = m_position;
    while (m_position < m_size && isLineEnd(m_position))
        ++m_position;
    return end;
}

void StoredPdfSource::seek(qpdf_offset_t offset, int whence)
{
    const qpdf_offset_t from = whence == SEEK_END ? m_size : whence == SEEK_CUR ? m_position : 0;
    if (from + offset < 0)
        throw std::runtime_error(m_name + ": seek before the start of the file");
    m_position = from + offset;
}

size_t StoredPdfSource::read(char *data, size_t length)
{
    last_offset = m_position;
    const size_t count = fetch(m_position, data, length);
    m_position += qpdf_offset_t(count);
    return count;
}

void StoredPdfSource::unreadCh(char)
{
    if (m_position > 0)
        --m_position;
}

// Fewer bytes than asked, or none, tell qpdf the data is cut short.
size_t StoredPdfSource::fetch(qpdf_offset_t offset, char *data, size_t length) const
{
    if (offset >= m_size)
        return 0;
    length = size_t(qMin(qpdf_offset_t(length), m_size - offset));
    if (!m_held)
        return m_start < 0 ? 0 : m_store->read(m_start + offset, data, length);
    std::memcpy(data, m_contents.constData() + offset, length);
    return length;
}

bool StoredPdfSource::isLineEnd(qpdf_offset_t offset) const
{
    char c = 0;
    return fetch(offset, &c, 1) == 1 && (c == '\r' || c == '\n');
}
