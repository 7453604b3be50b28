#pragma once

#include "report/reportvolume.h"
#include "system/scratchfile.h"

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>

// A volume of a site document: a temporary PDF that a few dozen devices'
// reports (or its contents pages) are drawn into, and where each of them
// lies. Its file has no name (ScratchFile): no other user can reach it,
// and it goes with the volume, however the process ends. The placements,
// the outcome and the bytes are read on any thread once waitUntilClosed()
// has returned.
class SiteVolume : public ReportVolume
{
    Q_DECLARE_TR_FUNCTIONS(SiteVolume)

public:
    struct Placement
    {
        int firstPage = -1; // from 0; -1 when the report is not in the volume
        int pageCount = 0;
    };

    // documentName: the site document's path, as messages name it.
    // archival: PDF/A-1b; with a title, also titled and signed (the volume
    // whose catalog the document takes over: its contents pages).
    SiteVolume(const QString &documentName, bool archival, const QString &title = QString());
    ~SiteVolume() override;

    bool beginReport(QString *reason) override;
    QPainter *painter() const override { return m_painter.get(); }
    QPdfWriter *writer() const override { return m_writer.get(); }
    void endReport(const QString &key, int pageCount) override;
    void close() override;
    // Waits until close() has run; false, with the reason, when the volume
    // could not be completed.
    bool waitUntilClosed(QString *reason);
    // Where the report named key lies; valid after waitUntilClosed().
    Placement placementOf(const QString &key) const;
    // The volume's whole PDF, once it was closed complete; false, with the
    // reason, otherwise. The file is dropped by its last reading: the disk
    // holds each report once.
    bool takeBytes(QByteArray *bytes, QString *reason);

private:
    Q_DISABLE_COPY(SiteVolume)

    bool checkComplete(QString *reason);

    QString m_documentName;
    bool m_archival;
    QString m_title;
    std::unique_ptr<ScratchFile> m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    int m_pageCount = 0; // the page being drawn on included
    int m_firstPage = 0; // of the report being drawn

    // The standard library's, not Qt's: a ThreadSanitizer build sees these.
    mutable std::mutex m_mutex;
    std::condition_variable m_closedCondition;
    bool m_closed = false;
    QString m_failure;
    QHash<QString, Placement> m_placements;
};
