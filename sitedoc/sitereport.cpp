#include "sitedoc/sitereport.h"

#include "engine/configfields.h"
#include "engine/conversionqueue.h"
#include "report/changereport.h"
#include "sitedoc/combinedpdf.h"
#include "sitedoc/contentspages.h"
#include "sitedoc/servicedates.h"
#include "sitedoc/sitevolume.h"
#include "system/threadhandoff.h"

#include <QFileInfo>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

namespace {

// Each volume embeds its fonts and logo once: past a few dozen devices the
// saving is nearly whole, while more volumes keep every thread busy to the end.
constexpr int MaxDevicesPerVolume = 32;
constexpr int VolumesPerThread = 2;

} // namespace

SiteReport::SiteReport(const QString &target, const QString &title, bool archival, QObject *parent)
    : QObject(parent)
    , m_queue(new ConversionQueue(this))
    , m_archival(archival)
    , m_title(title)
    , m_file(target)
    , m_target(target)
{
    m_queue->setArchival(archival);
    m_queue->setMaxInFlight(ConversionQueue::defaultInFlight());
    connect(m_queue, &ConversionQueue::reportWritten, this, &SiteReport::keep);
    connect(m_queue, &ConversionQueue::jobFailed, this, &SiteReport::leaveOut);
    connect(m_queue, &ConversionQueue::jobEnded, this, &SiteReport::tellDone);
    connect(m_queue, &ConversionQueue::settled, this, &SiteReport::startAssembly);
}

SiteReport::~SiteReport()
{
    // Nothing may still draw into a volume or join it once it goes.
    stop();
}

bool SiteReport::reserve(QString *reason)
{
    return m_file.reserve(reason);
}

SiteReport::Part &SiteReport::addPart(const QString &source, int perVolume)
{
    if (m_parts.size() % perVolume == 0)
        m_volumes.append(std::make_shared<SiteVolume>(m_target, m_archival));
    // The name the device's report has in its volume: it names the
    // document in what the conversion may say.
    const QString partPath = tr("%1 (Gerät %2)").arg(m_target).arg(m_parts.size() + 1);
    m_partOf.insert(partPath, int(m_parts.size()));
    Part part;
    part.source = QFileInfo(source).absoluteFilePath();
    part.partPath = partPath;
    part.volume = int(m_volumes.size()) - 1;
    m_parts.append(part);
    return m_parts.last();
}

void SiteReport::start(const QStringList &files)
{
    const int perVolume = devicesPerVolume(int(files.size()));
    QVector<ConversionJob> jobs;
    for (const QString &file : files) {
        const Part &part = addPart(file, perVolume);
        jobs.append({part.source, part.partPath, {}, m_volumes.last()});
    }
    if (jobs.isEmpty())
        QMetaObject::invokeMethod(this, &SiteReport::startAssembly, Qt::QueuedConnection);
    m_queue->add(jobs);
}

void SiteReport::startChanges(const QVector<ChangedDevice> &devices)
{
    const int perVolume = devicesPerVolume(int(devices.size()));
    for (const ChangedDevice &device : devices) {
        Part &part = addPart(device.after.isEmpty() ? device.before : device.after, perVolume);
        part.before
                = device.before.isEmpty() ? QString() : QFileInfo(device.before).absoluteFilePath();
        part.kind = device.before.isEmpty()  ? Kind::New
                    : device.after.isEmpty() ? Kind::Removed
                                             : Kind::Changes;
    }
    m_volumesLeft = int(m_volumes.size());
    if (m_volumes.isEmpty()) {
        QMetaObject::invokeMethod(this, &SiteReport::startAssembly, Qt::QueuedConnection);
        return;
    }
    for (int volume = 0; volume < m_volumes.size(); ++volume) {
        QRunnable *work = QRunnable::create([this, volume] { drawChangeVolume(volume); });
        work->setAutoDelete(false);
        m_volumeWork.append(work);
        QThreadPool::globalInstance()->start(work);
    }
}

// On a pool thread: the volume and its parts are this work's alone until
// volumeDrawn().
void SiteReport::drawChangeVolume(int volume)
{
    for (Part &part : m_parts) {
        if (part.volume != volume)
            continue;
        if (m_stopping)
            part.failure = tr("Die Datei %1 wurde nicht aufgenommen: die Umwandlung wurde "
                              "abgebrochen.")
                                   .arg(part.source);
        else
            drawChangePart(&part, volume);
    }
    m_volumes.at(volume)->close();
    QMetaObject::invokeMethod(
            this, [this, volume] { volumeDrawn(volume); }, Qt::QueuedConnection);
    ThreadHandOff::release(m_volumes.at(volume).get());
}

// A changed device's change report; a new or removed one's report, drawn by
// a conversion of its file on this thread.
void SiteReport::drawChangePart(Part *part, int volume)
{
    const std::shared_ptr<SiteVolume> &into = m_volumes.at(volume);
    if (part->kind == Kind::Changes) {
        ChangeReport report;
        report.setArchival(m_archival);
        QString reason;
        if (!report.load(part->before, part->source, &reason)
            || !report.draw(*into, part->partPath, &reason)) {
            part->failure = reason;
            return;
        }
        part->general = report.later().general;
        part->service = report.later().service;
        part->changes = report.changeCount();
        return;
    }
    convert task;
    task.setArchival(m_archival);
    task.setVolume(into);
    QObject::connect(&task, &convert::abortReason, &task,
                     [part](const QString &reason) { part->failure = reason; });
    task.run(part->source, part->partPath);
    if (part->failure.isEmpty()) {
        part->general = task.general;
        part->service = task.service;
    }
}

void SiteReport::volumeDrawn(int volume)
{
    ThreadHandOff::acquire(m_volumes.at(volume).get());
    if (m_stopping)
        return;
    for (const Part &part : qAsConst(m_parts)) {
        if (part.volume != volume)
            continue;
        ++(part.failure.isEmpty() ? m_converted : m_failed);
        if (!part.failure.isEmpty())
            emit deviceLeftOut(part.source, part.failure);
        emit deviceDone(part.source, m_converted + m_failed, int(m_parts.size()));
    }
    if (--m_volumesLeft == 0)
        startAssembly();
}

// The volumes not begun are taken back; those being drawn end after the
// part they draw. Only a document of changes has such work (the converter's):
// the pool's other work is waited for with it.
void SiteReport::stopChangeVolumes()
{
    if (m_volumeWork.isEmpty())
        return;
    for (int volume = 0; volume < m_volumeWork.size(); ++volume) {
        if (QThreadPool::globalInstance()->tryTake(m_volumeWork.at(volume)))
            m_volumes.at(volume)->close();
    }
    QThreadPool::globalInstance()->waitForDone();
    for (int volume = 0; volume < m_volumeWork.size(); ++volume) {
        ThreadHandOff::acquire(m_volumes.at(volume).get());
        delete m_volumeWork.at(volume);
    }
    m_volumeWork.clear();
}

void SiteReport::setStarter(const std::function<void(const QVector<convert::Conversion> &,
                                                     const std::function<void()> &)> &starter)
{
    m_queue->setStarter(starter);
}

bool SiteReport::isRunning() const
{
    return !m_parts.isEmpty() && !m_finished && !m_stopping;
}

void SiteReport::stop()
{
    m_stopping = true;
    // No report of the document is wanted any more: none need be finished.
    m_queue->cancelRunning();
    m_queue->stop();
    stopChangeVolumes();
    if (m_assembly)
        joinAssembly();
}

bool SiteReport::stopRequested() const
{
    return m_stopping;
}

int SiteReport::notStartedCount() const
{
    return m_queue->startedCount() - m_queue->endedCount();
}

int SiteReport::devicesPerVolume(int devices)
{
    const int volumes = VolumesPerThread * qMax(1, QThreadPool::globalInstance()->maxThreadCount());
    return qBound(1, (devices + volumes - 1) / volumes, MaxDevicesPerVolume);
}

void SiteReport::keep(const ConversionJob &job, const QVector<QVariant> &general,
                      const QVector<QVariant> &service)
{
    Part &part = m_parts[m_partOf.value(job.target)];
    part.general = general;
    part.service = service;
}

void SiteReport::leaveOut(const ConversionJob &job, const QString &reason)
{
    Part &part = m_parts[m_partOf.value(job.target)];
    part.failure = reason;
    emit deviceLeftOut(part.source, reason);
}

void SiteReport::tellDone(const ConversionJob &job, bool converted)
{
    ++(converted ? m_converted : m_failed);
    emit deviceDone(job.source, m_queue->endedCount(), m_queue->startedCount());
}

void SiteReport::startAssembly()
{
    if (m_stopping || m_assembly)
        return;
    m_assembly.reset(QThread::create([this] {
        m_assembled = assemble();
        QMetaObject::invokeMethod(this, &SiteReport::assembled, Qt::QueuedConnection);
        // The parts, the outcome and the event just posted are the report's
        // thread's again once it has joined this one.
        ThreadHandOff::release(&m_assembled);
    }));
    // Its name tells a look at the process (top -H, a benchmark) that the
    // joining runs.
    m_assembly->setObjectName(QStringLiteral("site-join"));
    m_assembly->start();
    emit joiningStarted();
}

void SiteReport::joinAssembly()
{
    m_assembly->wait();
    ThreadHandOff::acquire(&m_assembled);
}

void SiteReport::assembled()
{
    joinAssembly();
    const Assembly &assembly = m_assembled;
    if (m_stopping)
        return; // stopped meanwhile: nothing is told any more
    for (const int index : assembly.leftOut) {
        const Part &part = m_parts.at(index);
        --m_converted;
        ++m_failed;
        emit deviceLeftOut(part.source, part.failure);
    }
    // A volume lost costs its devices: its cause is told once.
    for (auto lost = assembly.lost.cbegin(); lost != assembly.lost.cend(); ++lost) {
        m_converted -= lost.value();
        m_failed += lost.value();
        QString cause = lost.key();
        if (!cause.endsWith(QLatin1Char('.')))
            cause += QLatin1Char('.');
        const QString missing
                = lost.value() == 1 ? tr("%1 Ein Gerät fehlt deshalb im Gesamtdokument %2.")
                                              .arg(cause, m_target)
                                    : tr("%1 %2 Geräte fehlen deshalb im Gesamtdokument %3.")
                                              .arg(cause, QString::number(lost.value()), m_target);
        emit devicesLost(missing, lost.value());
    }
    m_finished = true;
    m_written = assembly.written;
    if (m_written) {
        emit written(m_target);
    } else {
        // No document holds any of them.
        m_failed += m_converted;
        m_converted = 0;
        emit failed(assembly.reason);
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
    switch (part.kind) {
    case Kind::Report:
        break;
    case Kind::Changes:
        device.note = part.changes == 0   ? tr("keine Änderungen")
                      : part.changes == 1 ? tr("1 Änderung")
                                          : tr("%1 Änderungen").arg(part.changes);
        break;
    case Kind::New:
        device.note = tr("neu");
        break;
    case Kind::Removed:
        device.note = tr("entfernt");
        break;
    }
    if (part.service.size() >= Config::Service::FieldCount) {
        device.nextService = ServiceDates::due(part.service.at(Config::Service::LastService),
                                               part.service.at(Config::Service::NextService));
        device.nextCalibration
                = ServiceDates::due(part.service.at(Config::Service::LastCalibration),
                                    part.service.at(Config::Service::NextCalibration));
    }
    return device;
}

QStringList SiteReport::addVolumes(CombinedPdf *pdf)
{
    QStringList failures;
    for (const std::shared_ptr<SiteVolume> &volume : qAsConst(m_volumes)) {
        QString failure;
        QByteArray bytes;
        // Added also when it holds nothing: volumes are numbered as added.
        QString unread;
        if (volume->takeBytes(&bytes, &failure))
            pdf->addVolume(bytes, &failure);
        else
            pdf->addVolume(QByteArray(), &unread);
        failures.append(failure);
    }
    return failures;
}

SiteReport::Assembly SiteReport::assemble()
{
    Assembly assembly;
    CombinedPdf pdf(m_target);
    pdf.setStopCheck([this] { return stopRequested(); });
    assembly.written = join(&pdf, &assembly);
    return assembly;
}

// Runs on the joining's thread; the parts are its own until it ends.
bool SiteReport::join(CombinedPdf *pdf, Assembly *assembly)
{
    QString *reason = &assembly->reason;
    const QStringList volumeFailures = addVolumes(pdf);
    QVector<ContentsDevice> devices;
    QVector<ContentsOmission> omissions;
    for (int i = 0; i < m_parts.size(); ++i) {
        Part &part = m_parts[i];
        if (part.failure.isEmpty()) {
            ContentsDevice device = deviceOf(part);
            const SiteVolume::Placement placed
                    = m_volumes.at(part.volume)->placementOf(part.partPath);
            device.pageCount = placed.pageCount;
            const QString &volumeFailure = volumeFailures.at(part.volume);
            QString failure;
            if (volumeFailure.isEmpty()
                && pdf->addReport(part.volume, placed.firstPage, placed.pageCount,
                                  ContentsPages::deviceTitle(device), &failure)) {
                devices.append(device);
                continue;
            }
            if (volumeFailure.isEmpty()) {
                part.failure
                        = tr("Die Datei %1 wurde nicht aufgenommen. %2").arg(part.source, failure);
                assembly->leftOut.append(i);
            } else {
                part.failure = volumeFailure;
                // Once one volume is lost (a full disk, say), those after
                // it are mostly lost to the same cause: it is told once.
                ++assembly->lost[assembly->lost.isEmpty() ? volumeFailure
                                                          : assembly->lost.firstKey()];
            }
        }
        omissions.append({part.source, part.failure});
    }
    if (stopRequested()) {
        *reason = tr("Das Gesamtdokument %1 wurde nicht geschrieben: die Umwandlung wurde "
                     "abgebrochen.")
                          .arg(m_target);
        return false;
    }
    if (devices.isEmpty() && !assembly->lost.isEmpty()) {
        *reason = tr("Das Gesamtdokument %1 wurde nicht geschrieben: %2")
                          .arg(m_target, assembly->lost.firstKey());
        return false;
    }
    if (devices.isEmpty()) {
        *reason = tr("Das Gesamtdokument %1 wurde nicht geschrieben: keine der Dateien ließ "
                     "sich umwandeln.")
                          .arg(m_target);
        return false;
    }

    const QString title = m_title.isEmpty() ? QFileInfo(m_target).completeBaseName() : m_title;
    ContentsPages contents(title, devices, omissions);
    contents.setArchival(m_archival);
    if (m_today.isValid())
        contents.setToday(m_today);
    SiteVolume front(m_target, m_archival, contents.documentTitle());
    QString failure;
    const bool drawn = contents.draw(front, &failure);
    front.close();
    QByteArray frontBytes;
    if (!drawn || !front.takeBytes(&frontBytes, &failure)) {
        *reason = tr("Das Gesamtdokument %1 wurde nicht geschrieben: %2").arg(m_target, failure);
        return false;
    }
    return pdf->write(frontBytes, contents, m_file.temporaryPath(), reason)
           && m_file.commit(reason);
}
