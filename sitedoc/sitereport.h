#pragma once

#include "cli/batchconverter.h"
#include "report/contentspages.h"
#include "system/reportfile.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

class CombinedPdf;
class ReportVolume;

// One document for a whole site (--combine): the reports of many
// configuration files, drawn in parallel like a batch, a few dozen devices
// into each temporary volume, then joined behind contents pages into one PDF
// with a bookmark per device and page numbers. Files that cannot be converted are left out and
// listed in the contents; the document is written like a report, complete or
// not at all, and only when at least one file could be converted.
class SiteReport : public QObject
{
    Q_OBJECT

public:
    SiteReport(const QString &target, const QString &title, const ConsoleOptions &console,
               bool archival, QObject *parent = nullptr);

    // Checks that the document can be written before anything is converted.
    bool reserve(QString *reason);
    // Converts the files, in this order in the document; done() follows.
    void start(const QStringList &files);

    BatchConverter *converter() const { return m_converter; }
    bool isWritten() const { return m_written; }

signals:
    void done();

private:
    struct Part
    {
        QString source;
        QString partPath; // names the device's report in its volume
        int volume = 0; // the index of the volume it is drawn into
        QVector<QVariant> general; // its general settings, once written
        QString failure; // why it is left out, if it is
    };

    static int devicesPerVolume(int devices);
    void keep(const ConversionJob &job, const QVector<QVariant> &general);
    void leaveOut(const ConversionJob &job, const QString &reason);
    void finish();
    bool assemble(QString *reason);
    // Reads the volumes into pdf; the reason a volume's devices are left
    // out, or an empty one for each that was read.
    QStringList addVolumes(CombinedPdf *pdf);
    static ContentsDevice deviceOf(const Part &part);

    BatchConverter *m_converter;
    ConsoleOptions m_console;
    bool m_archival;
    QString m_title;
    ReportFile m_file;
    QString m_target;
    QTemporaryDir m_folder;
    QVector<Part> m_parts;
    QVector<std::shared_ptr<ReportVolume>> m_volumes;
    QHash<QString, int> m_partOf; // a part's report path -> its index
    bool m_written = false;
};
