#include "sitedoc/sitevolume.h"

#include "report/pagewriter.h"

#include <QPainter>
#include <QPdfWriter>

namespace {

// What a complete PDF ends with, within its last bytes.
constexpr int TailBytes = 1024;

} // namespace

SiteVolume::SiteVolume(const QString &documentName, bool archival, const QString &title)
    : m_documentName(documentName)
    , m_archival(archival)
    , m_title(title)
{ }

SiteVolume::~SiteVolume()
{
    // Only a volume that was drawn into and never closed is left open.
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_closed && m_painter && m_painter->isActive())
        m_painter->end();
}

bool SiteVolume::beginReport(QString *reason)
{
    if (m_painter) {
        m_writer->newPage();
        m_firstPage = m_pageCount++;
        return true;
    }
    m_file = std::make_unique<ScratchFile>();
    if (!m_file->create(reason))
        return false;
    m_writer = std::make_unique<QPdfWriter>(m_file.get());
    PageWriter::configurePage(*m_writer);
    if (m_archival && !m_title.isEmpty())
        PageWriter::describeArchival(*m_writer, m_title);
    else if (m_archival)
        m_writer->setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_writer.get())) {
        m_painter.reset();
        m_writer.reset();
        *reason = tr("Für das Gesamtdokument %1 lässt sich kein Sammelband anlegen.")
                          .arg(m_documentName);
        return false;
    }
    m_firstPage = 0;
    m_pageCount = 1;
    return true;
}

void SiteVolume::endReport(const QString &key, int pageCount)
{
    m_pageCount = m_firstPage + pageCount;
    if (key.isEmpty())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_placements.insert(key, {m_firstPage, pageCount});
}

void SiteVolume::close()
{
    QString failure;
    const bool ended = !m_painter || m_painter->end();
    // Ended here, with the fonts of this thread.
    m_painter.reset();
    m_writer.reset();
    if (m_file)
        checkComplete(&failure);
    if (failure.isEmpty() && !ended)
        failure = tr("Ein Sammelband des Gesamtdokuments %1 konnte nicht abgeschlossen werden.")
                          .arg(m_documentName);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_failure = failure;
    m_closed = true;
    m_closedCondition.notify_all();
}

bool SiteVolume::waitUntilClosed(QString *reason)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closedCondition.wait(lock, [this] { return m_closed; });
    *reason = m_failure;
    return m_failure.isEmpty();
}

SiteVolume::Placement SiteVolume::placementOf(const QString &key) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_placements.value(key);
}

// A full disk is noticed when it happens: the writer does not say so.
bool SiteVolume::checkComplete(QString *reason)
{
    if (!m_file->flush()) {
        *reason = m_file->writeFailure();
        return false;
    }
    const qint64 size = m_file->size();
    QByteArray head(int(qMin<qint64>(size, TailBytes)), '\0');
    QByteArray tail = head;
    const bool read = m_file->readAt(0, head.data(), size_t(head.size())) == size_t(head.size())
                      && m_file->readAt(size - tail.size(), tail.data(), size_t(tail.size()))
                                 == size_t(tail.size());
    if (read && head.startsWith("%PDF-") && tail.contains("startxref")
        && tail.trimmed().endsWith("%%EOF"))
        return true;
    *reason = tr("Ein Sammelband des Gesamtdokuments %1 ist unvollständig.").arg(m_documentName);
    return false;
}

bool SiteVolume::takeBytes(QByteArray *bytes, QString *reason)
{
    if (!waitUntilClosed(reason))
        return false;
    if (!m_file) {
        *reason = tr("Ein Sammelband des Gesamtdokuments %1 ist leer.").arg(m_documentName);
        return false;
    }
    const bool read = m_file->readAll(bytes, reason);
    m_file.reset();
    return read;
}
