#pragma once

#include "sitedoc/contentspages.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ByteStore;
class QPDF;
class QPDFObjectHandle;
class QPDFPageObjectHelper;
class SharedImages;

// Joins the pages of a combined document with qpdf: the contents pages as
// Qt drew them, then every device report's pages, each with its foot line
// laid over it; adds one bookmark per device and the contents lines' links.
class CombinedPdf
{
    Q_DECLARE_TR_FUNCTIONS(CombinedPdf)

public:
    // documentName: the document's path as its messages name it.
    explicit CombinedPdf(const QString &documentName);
    ~CombinedPdf();

    // Asked between pieces of work, and while the document is written: a
    // true answer ends the work, with "abgebrochen" as the reason.
    void setStopCheck(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

    // Takes the pages of a volume of device reports into the document, not
    // yet in its page order. Only the small objects stay in memory: the
    // volume's bytes wait in a temporary file, from which the writer reads
    // the streams. False, with the reason, for bytes that are no readable
    // PDF; they then count as a volume without pages. Volumes are numbered
    // from 0 in the order they are added.
    bool addVolume(const QByteArray &bytes, QString *reason);
    // Puts pageCount pages of volume, from firstPage (from 0), next in the
    // document as one device's report, under bookmark. False, with the
    // reason, when the volume has no such pages.
    bool addReport(int volume, int firstPage, int pageCount, const QString &bookmark,
                   QString *reason);

    // contentsBytes hold the contents pages as drawn, then the pieces of the
    // foot lines. Writes the whole document to output.
    bool write(const QByteArray &contentsBytes, const ContentsPages &contents,
               const QString &output, QString *reason);

private:
    Q_DISABLE_COPY(CombinedPdf)

    void layFooters(const std::vector<QPDFPageObjectHelper> &drawn, const ContentsPages &contents,
                    const std::vector<QPDFPageObjectHelper> &reportPages);
    std::vector<QPDFObjectHandle> prependContents(const std::vector<QPDFPageObjectHelper> &drawn,
                                                  size_t contentsPages);
    void adoptCatalog(QPDF &contents);
    struct Bookmark;
    void addOutline(const std::vector<Bookmark> &bookmarks);
    void noteVersion(QPDF &part);
    void writeFile(const QString &output);
    // Throws once a stop is asked for.
    void checkNotStopped() const;
    static QString whyFailed(const std::exception &error);

    struct Report
    {
        QString bookmark;
        size_t firstPage = 0; // among the reports' pages, from 0
    };
    QString m_name;
    std::function<bool()> m_stopped;
    std::unique_ptr<QPDF> m_document;
    std::shared_ptr<ByteStore> m_store; // the reports' bytes, for the writer
    std::vector<Report> m_reports;
    std::vector<std::vector<QPDFObjectHandle>> m_volumePages; // copied, by volume
    size_t m_pageCount = 0;
    std::string m_version; // the highest PDF version of the parts
    std::unique_ptr<SharedImages> m_images;
};
