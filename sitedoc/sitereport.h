#pragma once

#include "engine/convert.h"
#include "system/reportfile.h"

#include <QDate>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <memory>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE
class CombinedPdf;
class ConversionQueue;
class SiteVolume;
struct ContentsDevice;
struct ConversionJob;
QT_BEGIN_NAMESPACE
class QRunnable;
QT_END_NAMESPACE

// A device of a document of changes: its configuration as found and as left.
// A file in only one of the two states is a device removed (no after) or
// new (no before).
struct ChangedDevice
{
    QString before;
    QString after;
};

// One document for a whole site: the reports of many configuration files,
// drawn in parallel on the pool, a few dozen devices into each temporary
// volume, then joined behind contents pages into one PDF with a bookmark per
// device and page numbers. Files that cannot be converted are left out and
// listed in the contents; the document is written like a report, complete
// or not at all, and only when at least one file could be converted. The
// joining runs on a thread of its own, so that its owner's events (a stop,
// a window's clicks) are heard meanwhile. It tells what becomes of each file
// and of the document through its signals; it prints nothing.
class SiteReport : public QObject
{
    Q_OBJECT

public:
    // title: the document's, or (when empty) the target's name without
    // ".pdf". archival: PDF/A-1b.
    SiteReport(const QString &target, const QString &title, bool archival,
               QObject *parent = nullptr);
    ~SiteReport() override;

    // Checks that the document can be written before anything is converted.
    bool reserve(QString *reason);
    // Converts the files, in this order in the document; done() follows.
    void start(const QStringList &files);
    // Instead of reports, each device's change report, in this order; a new
    // or a removed device with its report. The contents give the number of
    // changes, "neu" or "entfernt"; done() follows.
    void startChanges(const QVector<ChangedDevice> &devices);
    // Hands the conversions to the pool (tests: to their own starter), as
    // ConversionQueue::setStarter().
    void setStarter(const std::function<void(const QVector<convert::Conversion> &,
                                             const std::function<void()> &)> &starter);
    // Started, and neither done nor stopped.
    bool isRunning() const;
    // The day the dates page judges by; by default the day it is made.
    void setToday(const QDate &today) { m_today = today; }
    // Starts nothing more, drops what waits, stops the joining and waits for
    // what runs; the document is not written. done() does not follow.
    void stop();

    QString target() const { return m_target; }
    bool isWritten() const { return m_written; }
    int fileCount() const { return int(m_parts.size()); }
    // Files whose report is (so far) on its way into the document, and those
    // left out at whatever stage; once the document could not be written,
    // every file counts as failed.
    int convertedCount() const { return m_converted; }
    int failedCount() const { return m_failed; }
    // After stop(): the files whose conversion never began.
    int notStartedCount() const;

signals:
    // A file's conversion has ended, the done-th of total.
    void deviceDone(const QString &source, int done, int total);
    // Every file's conversion has ended; the joining begins.
    void joiningStarted();
    // A file is not in the document, for this reason (which names it).
    void deviceLeftOut(const QString &source, const QString &reason);
    // Devices lost with a volume that could not be completed or read (a
    // full temporary folder, say): message names the cause once.
    void devicesLost(const QString &message, int devices);
    void written(const QString &target);
    // The document could not be written, for this reason.
    void failed(const QString &reason);
    // The document is written or has failed.
    void done();

private:
    // What a part of the document shows of its device.
    enum class Kind { Report, Changes, New, Removed };

    struct Part
    {
        QString source; // the configuration drawn (the later, for changes)
        QString partPath; // names the device's report in its volume
        int volume = 0; // the index of the volume it is drawn into
        QVector<QVariant> general; // its general settings, once written
        QVector<QVariant> service; // and its service dates
        QString failure; // why it is left out, if it is
        Kind kind = Kind::Report;
        QString before; // for changes: the earlier configuration
        int changes = 0; // for changes: how many
    };

    // What the joining leaves for the report's own thread to tell.
    struct Assembly
    {
        bool written = false;
        QString reason; // when not written
        QVector<int> leftOut; // parts left out while joining
        QMap<QString, int> lost; // devices lost with their volume, by its failure
    };

    static int devicesPerVolume(int devices);
    // A new part for source, in the volume of the parts before it unless
    // that is full.
    Part &addPart(const QString &source, int perVolume);
    // Draws a volume's parts of changes on a pool thread, one after the
    // other, then closes it; volumeDrawn() follows on the report's thread.
    void drawChangeVolume(int volume);
    void drawChangePart(Part *part, int volume);
    void volumeDrawn(int volume);
    void stopChangeVolumes();
    void keep(const ConversionJob &job, const QVector<QVariant> &general,
              const QVector<QVariant> &service);
    void leaveOut(const ConversionJob &job, const QString &reason);
    void tellDone(const ConversionJob &job, bool converted);
    void startAssembly();
    void assembled();
    void joinAssembly();
    bool stopRequested() const;
    Assembly assemble();
    bool join(CombinedPdf *pdf, Assembly *assembly);
    // Reads the volumes into pdf; the reason a volume's devices are left
    // out, or an empty one for each that was read.
    QStringList addVolumes(CombinedPdf *pdf);
    static ContentsDevice deviceOf(const Part &part);

    ConversionQueue *m_queue;
    bool m_archival;
    QString m_title;
    ReportFile m_file;
    QString m_target;
    QVector<Part> m_parts;
    QVector<std::shared_ptr<SiteVolume>> m_volumes;
    QHash<QString, int> m_partOf; // a part's name in its volume -> its index
    QDate m_today;
    int m_converted = 0;
    int m_failed = 0;
    bool m_written = false;
    bool m_finished = false;
    // The volumes of a document of changes, as work for the pool; those
    // still to be drawn.
    QVector<QRunnable *> m_volumeWork;
    int m_volumesLeft = 0;
    std::atomic<bool> m_stopping {false};
    std::unique_ptr<QThread> m_assembly;
    Assembly m_assembled; // written by the joining's thread
};
