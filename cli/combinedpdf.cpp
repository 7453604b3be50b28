#include "cli/combinedpdf.h"

#include <QCoreApplication>
#include <QFile>

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>

namespace {

constexpr int PrintFlag = 4; // an annotation's /F: printed, as PDF/A asks

QString text(const char *source)
{
    return QCoreApplication::translate("belmorand-cli", source);
}

std::string utf8(const QString &text)
{
    return text.toStdString();
}

std::string localPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// A jump to the top of page, at the viewer's zoom.
QPDFObjectHandle destination(const QPDFObjectHandle &page)
{
    const QPDFObjectHandle::Rectangle box
            = QPDFPageObjectHelper(page).getMediaBox().getArrayAsRectangle();
    return QPDFObjectHandle::newArray(
            {page, QPDFObjectHandle::newName("/XYZ"), QPDFObjectHandle::newReal(box.llx, 2),
             QPDFObjectHandle::newReal(box.ury, 2), QPDFObjectHandle::newNull()});
}

// Lays footer (a form made from a foot-line page) over page, in a
// resource dictionary of the page's own: a report's pages may share theirs.
void layOver(QPDF &document, QPDFPageObjectHelper page, const QPDFObjectHandle &footer)
{
    QPDFObjectHandle resources = page.getAttribute("/Resources", true);
    resources = resources.isDictionary() ? resources.shallowCopy()
                                         : QPDFObjectHandle::newDictionary();
    page.getObjectHandle().replaceKey("/Resources", resources);
    QPDFObjectHandle forms = resources.getKey("/XObject");
    forms = forms.isDictionary() ? forms.shallowCopy() : QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", forms);
    int suffix = 1;
    const std::string name = resources.getUniqueResourceName("/Foot", suffix);
    forms.replaceKey(name, footer);
    const std::string placed
            = page.placeFormXObject(footer, name, page.getMediaBox().getArrayAsRectangle());
    // The report's drawing state, whatever it is left as, does not reach the foot line.
    page.addPageContents(QPDFObjectHandle::newStream(&document, "q\n"), true);
    page.addPageContents(QPDFObjectHandle::newStream(&document, "\nQ\n" + placed), false);
}

QPDFObjectHandle linkAnnotation(const QRectF &area, const QPDFObjectHandle &target)
{
    QPDFObjectHandle link = QPDFObjectHandle::newDictionary();
    link.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
    link.replaceKey("/Subtype", QPDFObjectHandle::newName("/Link"));
    link.replaceKey("/Rect", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                     area.left(), area.top(), area.right(), area.bottom())));
    link.replaceKey("/Border", QPDFObjectHandle::parse("[0 0 0]"));
    link.replaceKey("/F", QPDFObjectHandle::newInteger(PrintFlag));
    link.replaceKey("/Dest", destination(target));
    return link;
}

void addLinks(QPDF &document, const std::vector<QPDFPageObjectHelper> &contents,
              const QVector<ContentsLink> &links, const std::vector<QPDFObjectHandle> &firstPages)
{
    for (const ContentsLink &link : links) {
        QPDFObjectHandle page = contents.at(size_t(link.page)).getObjectHandle();
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray()) {
            annotations = QPDFObjectHandle::newArray();
            page.replaceKey("/Annots", annotations);
        }
        annotations.appendItem(document.makeIndirectObject(
                linkAnnotation(link.area, firstPages.at(size_t(link.device)))));
    }
}

} // namespace

CombinedPdf::CombinedPdf() = default;
CombinedPdf::~CombinedPdf() = default;

bool CombinedPdf::addReport(const QString &path, const QString &bookmark, int *pageCount,
                            QString *reason)
{
    try {
        // Opened only while read: a site of thousands of devices does not
        // run out of file handles.
        auto source = std::make_shared<ClosedFileInputSource>(localPath(path).c_str());
        auto pdf = std::make_shared<QPDF>();
        pdf->setSuppressWarnings(true);
        source->stayOpen(true);
        pdf->processInputSource(source);
        QPDFPageDocumentHelper pages(*pdf);
        pages.pushInheritedAttributesToPage();
        *pageCount = int(pages.getAllPages().size());
        source->stayOpen(false);
        m_reports.push_back({pdf, bookmark});
        return true;
    } catch (const std::exception &error) {
        *reason = text("Der Bericht %1 lässt sich nicht lesen: %2")
                          .arg(path, QString::fromStdString(error.what()));
        return false;
    }
}

bool CombinedPdf::write(const QString &contentsPath, int contentsPages,
                        const QVector<ContentsLink> &links, const QString &output, QString *reason)
{
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processFile(localPath(contentsPath).c_str());
        QPDFPageDocumentHelper pages(document);
        std::vector<QPDFPageObjectHelper> drawn = pages.getAllPages();
        std::vector<QPDFObjectHandle> footers;
        for (size_t i = size_t(contentsPages); i < drawn.size(); ++i) {
            footers.push_back(drawn[i].getFormXObjectForPage());
            pages.removePage(drawn[i]);
        }
        drawn.erase(drawn.begin() + contentsPages, drawn.end());
        std::vector<QPDFObjectHandle> firstPages;
        appendReports(document, footers, &firstPages);
        addOutline(document, firstPages);
        addLinks(document, drawn, links, firstPages);

        QPDFWriter writer(document, localPath(output).c_str());
        // Streams as they are, not decoded and compressed again; no object
        // streams and a line end before "endstream", as PDF/A-1 asks.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.setNewlineBeforeEndstream(true);
        writer.write();
        return true;
    } catch (const std::exception &error) {
        *reason = text("Das Gesamtdokument %1 lässt sich nicht zusammenstellen: %2")
                          .arg(output, QString::fromStdString(error.what()));
        return false;
    }
}

void CombinedPdf::appendReports(QPDF &document, std::vector<QPDFObjectHandle> footers,
                                std::vector<QPDFObjectHandle> *firstPages) const
{
    QPDFPageDocumentHelper pages(document);
    size_t footer = 0;
    for (const Report &report : m_reports) {
        bool first = true;
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*report.pdf).getAllPages()) {
            QPDFObjectHandle copy = document.copyForeignObject(page.getObjectHandle());
            pages.addPage(copy, false);
            if (footer < footers.size())
                layOver(document, copy, footers[footer++]);
            if (first)
                firstPages->push_back(copy);
            first = false;
        }
    }
}

void CombinedPdf::addOutline(QPDF &document, const std::vector<QPDFObjectHandle> &firstPages) const
{
    QPDFObjectHandle outline = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
    outline.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    QPDFObjectHandle previous;
    for (size_t i = 0; i < m_reports.size(); ++i) {
        QPDFObjectHandle item = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(utf8(m_reports[i].bookmark)));
        item.replaceKey("/Parent", outline);
        item.replaceKey("/Dest", destination(firstPages.at(i)));
        if (previous.isInitialized()) {
            item.replaceKey("/Prev", previous);
            previous.replaceKey("/Next", item);
        } else {
            outline.replaceKey("/First", item);
        }
        previous = item;
    }
    outline.replaceKey("/Last", previous);
    outline.replaceKey("/Count", QPDFObjectHandle::newInteger(qint64(m_reports.size())));
    QPDFObjectHandle catalog = document.getRoot();
    catalog.replaceKey("/Outlines", outline);
    catalog.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
}
