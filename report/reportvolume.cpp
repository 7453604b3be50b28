#include "report/reportvolume.h"

#include "engine/convert.h"
#include "system/systemerror.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QPainter>
#include <QPdfWriter>

#include <cerrno>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("ReportVolume", source);
}

} // namespace

ReportVolume::ReportVolume(const QString &path, bool archival)
    : m_path(path)
    , m_archival(archival)
{ }

ReportVolume::~ReportVolume()
{
    // Only a volume whose conversions never ran is left open.
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

bool ReportVolume::beginReport(QString *reason)
{
    if (m_painter) {
        m_writer->newPage();
        m_firstPage = m_pageCount++;
        return true;
    }
    m_writer = std::make_unique<QPdfWriter>(m_path);
    convert::configurePage(*m_writer);
    if (m_archival)
        m_writer->setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_writer.get())) {
        const int error = errno; // from the writer's failed open, if any
        m_painter.reset();
        m_writer.reset();
        *reason = text("Der Sammelband %1 für das Gesamtdokument kann nicht geschrieben werden "
                       "(%2).")
                          .arg(m_path, systemErrorText(error));
        return false;
    }
    m_firstPage = 0;
    m_pageCount = 1;
    return true;
}

void ReportVolume::endReport(const QString &key, int pageCount)
{
    m_pageCount = m_firstPage + pageCount;
    if (key.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    m_placements.insert(key, {m_firstPage, pageCount});
}

void ReportVolume::close()
{
    QString failure;
    if (m_painter && !m_painter->end())
        failure = text("Der Sammelband %1 für das Gesamtdokument konnte nicht abgeschlossen "
                       "werden.")
                          .arg(m_path);
    // Ended here, with the fonts of this thread.
    m_painter.reset();
    m_writer.reset();
    QMutexLocker lock(&m_mutex);
    m_failure = failure;
    m_closed = true;
    m_closedCondition.wakeAll();
}

bool ReportVolume::waitUntilClosed(QString *reason)
{
    QMutexLocker lock(&m_mutex);
    while (!m_closed)
        m_closedCondition.wait(&m_mutex);
    *reason = m_failure;
    return m_failure.isEmpty();
}

ReportVolume::Placement ReportVolume::placementOf(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_placements.value(key);
}
