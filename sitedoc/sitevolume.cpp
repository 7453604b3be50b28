#include "sitedoc/sitevolume.h"

#include "report/pagewriter.h"
#include "system/systemerror.h"

#include <QPainter>
#include <QPdfWriter>

#include <cerrno>

SiteVolume::SiteVolume(const QString &path, bool archival)
    : m_path(path)
    , m_archival(archival)
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
    m_writer = std::make_unique<QPdfWriter>(m_path);
    PageWriter::configurePage(*m_writer);
    if (m_archival)
        m_writer->setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_writer.get())) {
        const int error = errno; // from the writer's failed open, if any
        m_painter.reset();
        m_writer.reset();
        *reason = tr("Der Sammelband %1 für das Gesamtdokument kann nicht geschrieben werden "
                     "(%2).")
                          .arg(m_path, systemErrorText(error));
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
    if (m_painter && !m_painter->end())
        failure = tr("Der Sammelband %1 für das Gesamtdokument konnte nicht abgeschlossen "
                     "werden.")
                          .arg(m_path);
    // Ended here, with the fonts of this thread.
    m_painter.reset();
    m_writer.reset();
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
