#pragma once

#include "report/contentspages.h"

#include <QString>
#include <QVector>

#include <memory>
#include <vector>

class QPDF;
class QPDFObjectHandle;

// Joins the pages of a combined document with qpdf: the contents pages as
// Qt drew them, then every device report's pages, each with its foot line
// laid over it; adds one bookmark per device and the contents lines' links.
class CombinedPdf
{
public:
    CombinedPdf();
    ~CombinedPdf();

    // Opens a device's report and counts its pages; its content is read
    // again only while the document is written, so the reports are not held
    // in memory. False, with the reason, for a file that is no readable PDF.
    bool addReport(const QString &path, const QString &bookmark, int *pageCount, QString *reason);

    // contentsPath holds contentsPages pages, then one foot-line page per
    // page of the reports added. Writes the whole document to output.
    bool write(const QString &contentsPath, int contentsPages, const QVector<ContentsLink> &links,
               const QString &output, QString *reason);

private:
    Q_DISABLE_COPY(CombinedPdf)

    void appendReports(QPDF &document, std::vector<QPDFObjectHandle> footers,
                       std::vector<QPDFObjectHandle> *firstPages) const;
    void addOutline(QPDF &document, const std::vector<QPDFObjectHandle> &firstPages) const;

    struct Report
    {
        std::shared_ptr<const char> mapping; // the file, while pdf reads it
        std::shared_ptr<QPDF> pdf;
        QString bookmark;
    };
    std::vector<Report> m_reports;
};
