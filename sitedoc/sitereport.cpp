#include "cli/sitereport.h"

#include "cli/combinedpdf.h"
#include "cli/console.h"
#include "engine/configfields.h"
#include "report/reportvolume.h"

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

using Console::text;

namespace {

// Each volume embeds its fonts and logo once: past a few dozen devices the
// saving is nearly whole, while more volumes keep every thread busy to the end.
constexpr int MaxDevicesPerVolume = 32;
constexpr int VolumesPerThread = 2;

} // namespace

SiteReport::SiteReport(const QString &target, const QString &title, const ConsoleOptions &console,
                       bool archival, QObject *parent)
    : QObject(parent)
    , m_converter(nullptr)
    , m_console(console)
    , m_archival(archival)
    , m_title(title)
    , m_file(target)
    , m_target(target)
{
    ConsoleOptions parts = console;
    parts.listReports = false; // the parts are temporary; the document is listed
    m_converter = new BatchConverter(parts, this);
    m_converter->setArchival(archival);
    connect(m_converter, &BatchConverter::reportWritten, this, &SiteReport::keep);
    connect(m_converter, &BatchConverter::jobFailed, this, &SiteReport::leaveOut);
    connect(m_converter, &BatchConverter::done, this, &SiteReport::finish);
}

bool SiteReport::reserve(QString *reason)
{
    if (!m_folder.isValid()) {
        *reason = text("Für das Gesamtdokument %1 lässt sich kein temporärer Ordner anlegen: %2")
                          .arg(m_target, m_folder.errorString());
        return false;
    }
    return m_file.reserve(reason);
}

void SiteReport::start(const QStringList &files)
{
    const int perVolume = devicesPerVolume(int(files.size()));
    QVector<ConversionJob> jobs;
    for (const QString &file : files) {
        if (m_parts.size() % perVolume == 0) {
            m_volumes.append(std::make_shared<ReportVolume>(
                    m_folder.filePath(QStringLiteral("band-%1.pdf").arg(m_volumes.size())),
                    m_archival));
        }
        const QString partPath = m_folder.filePath(QStringLiteral("%1.pdf").arg(m_parts.size()));
        m_partOf.insert(partPath, int(m_parts.size()));
        m_parts.append(
                {QFileInfo(file).absoluteFilePath(), partPath, int(m_volumes.size()) - 1, {}, {}});
        jobs.append({m_parts.last().source, partPath, {}, m_volumes.last()});
    }
    m_converter->start(jobs);
}

int SiteReport::devicesPerVolume(int devices)
{
    const int volumes = VolumesPerThread * qMax(1, QThreadPool::globalInstance()->maxThreadCount());
    return qBound(1, (devices + volumes - 1) / volumes, MaxDevicesPerVolume);
}

void SiteReport::keep(const ConversionJob &job, const QVector<QVariant> &general)
{
    m_parts[m_partOf.value(job.target)].general = general;
}

void SiteReport::leaveOut(const ConversionJob &job, const QString &reason)
{
    m_parts[m_partOf.value(job.target)].failure = reason;
}

void SiteReport::finish()
{
    QString reason;
    m_written = assemble(&reason);
    if (!m_written) {
        Console::printError(reason);
    } else if (m_console.listReports) {
        Console::printReport(m_target);
    }
    emit done();
}

ContentsDevice SiteReport::deviceOf(const Part &part)
{
    ContentsDevice device;
    device.name = Config::textAt(part.general, Config::General::Name).trimmed();
    if (device.name.isEmpty())
        device.name = QFileInfo(part.source).completeBaseName();
    device.date = Config::textAt(part.general, Config::General::Date);
    device.source = part.source;
    return device;
}

QStringList SiteReport::addVolumes(CombinedPdf *pdf)
{
    QStringList failures;
    for (const std::shared_ptr<ReportVolume> &volume : qAsConst(m_volumes)) {
        QString failure;
        if (volume->waitUntilClosed(&failure))
            pdf->addVolume(volume->path(), &failure);
        failures.append(failure);
        // Its bytes are in the document's store now: the disk holds each
        // report once.
        QFile::remove(volume->path());
    }
    return failures;
}

bool SiteReport::assemble(QString *reason)
{
    CombinedPdf pdf;
    const QStringList volumeFailures = addVolumes(&pdf);
    QVector<ContentsDevice> devices;
    QVector<ContentsOmission> omissions;
    for (const Part &part : qAsConst(m_parts)) {
        QString failure = part.failure;
        if (failure.isEmpty()) {
            ContentsDevice device = deviceOf(part);
            const ReportVolume::Placement placed
                    = m_volumes.at(part.volume)->placementOf(part.partPath);
            device.pageCount = placed.pageCount;
            failure = volumeFailures.at(part.volume);
            if (failure.isEmpty()
                && pdf.addReport(part.volume, placed.firstPage, placed.pageCount,
                                 ContentsPages::deviceTitle(device), &failure)) {
                devices.append(device);
                continue;
            }
            failure = text("Die Datei %1 wurde nicht aufgenommen. %2").arg(part.source, failure);
            Console::printError(failure);
        }
        omissions.append({part.source, failure});
    }
    if (devices.isEmpty()) {
        *reason = text("Das Gesamtdokument %1 wurde nicht geschrieben: keine der Dateien ließ "
                       "sich umwandeln.")
                          .arg(m_target);
        return false;
    }

    const QString title = m_title.isEmpty() ? QFileInfo(m_target).completeBaseName() : m_title;
    ContentsPages contents(title, devices, omissions);
    contents.setArchival(m_archival);
    const QString contentsPath = m_folder.filePath(QStringLiteral("inhalt.pdf"));
    return contents.writeReport(contentsPath, reason)
           && pdf.write(contentsPath, contents, m_file.temporaryPath(), reason)
           && m_file.commit(reason);
}
