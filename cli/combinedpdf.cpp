#include "cli/combinedpdf.h"

#include "system/systemerror.h"

#include <QCoreApplication>
#include <QFile>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <map>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// A foot-line page as a form to lay over a report page. Qt gives each page
// one content stream; that stream becomes the form as it is, without
// decoding and compressing it again.
QPDFObjectHandle footerForm(QPDFPageObjectHelper page)
{
    QPDFObjectHandle content = page.getObjectHandle().getKey("/Contents");
    if (!content.isStream())
        return page.getFormXObjectForPage();
    QPDFObjectHandle form = content.getDict();
    form.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    form.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    form.replaceKey("/BBox", page.getMediaBox());
    form.replaceKey("/Resources", page.getAttribute("/Resources", false));
    return content;
}

// The content streams that lay a foot line over a report page. Shared by
// all pages: every page names its foot line alike.
struct FooterStreams
{
    QPDFObjectHandle save; // "q", before the report's own content
    std::map<std::string, QPDFObjectHandle> placements; // "Q", then the form drawn
};

// Lays footer over page, in a resource dictionary of the page's own: a
// report's pages may share theirs.
void layOver(QPDF &document, QPDFPageObjectHelper page, const QPDFObjectHandle &footer,
             FooterStreams *streams)
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
    // The report's drawing state, whatever it is left as, does not reach the foot line.
    const std::string placed
            = "\nQ\n"
              + page.placeFormXObject(footer, name, page.getMediaBox().getArrayAsRectangle());
    if (!streams->save.isInitialized())
        streams->save = document.newStream("q\n");
    QPDFObjectHandle &placement = streams->placements[placed];
    if (!placement.isInitialized())
        placement = document.newStream(placed);
    page.addPageContents(streams->save, true);
    page.addPageContents(placement, false);
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

#ifdef Q_OS_UNIX
// The file at path, mapped read-only, or null with errno set.
std::shared_ptr<const char> mapFile(const QString &path, size_t *size)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    struct stat info;
    void *data = MAP_FAILED;
    if (::fstat(descriptor, &info) == 0)
        data = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
    const int error = errno;
    ::close(descriptor);
    errno = error;
    if (data == MAP_FAILED)
        return {};
    *size = size_t(info.st_size);
    const size_t length = *size;
    return {static_cast<const char *>(data),
            [length](const char *mapped) { ::munmap(const_cast<char *>(mapped), length); }};
}
#endif

// Reads the PDF at path into pdf. Mapped, not read: the kernel keeps or
// drops the file's pages as memory allows, and no file handle stays open
// per report. pdf reads the mapping returned until it goes.
std::shared_ptr<const char> open(QPDF &pdf, const QString &path)
{
    pdf.setSuppressWarnings(true);
#ifdef Q_OS_UNIX
    size_t size = 0;
    std::shared_ptr<const char> mapping = mapFile(path, &size);
    if (!mapping)
        throw std::runtime_error(systemErrorText(errno).toStdString());
    pdf.processMemoryFile(localPath(path).c_str(), mapping.get(), size);
    return mapping;
#else
    pdf.processFile(localPath(path).c_str());
    return {};
#endif
}

} // namespace

CombinedPdf::CombinedPdf() = default;
CombinedPdf::~CombinedPdf() = default;

bool CombinedPdf::addReport(const QString &path, const QString &bookmark, int *pageCount,
                            QString *reason)
{
    try {
        Report report;
        report.bookmark = bookmark;
        report.pdf = std::make_shared<QPDF>();
        report.mapping = open(*report.pdf, path);
        QPDFPageDocumentHelper pages(*report.pdf);
        pages.pushInheritedAttributesToPage();
        *pageCount = int(pages.getAllPages().size());
        m_reports.push_back(report);
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
        const std::shared_ptr<const char> mapping = open(document, contentsPath);
        QPDFPageDocumentHelper pages(document);
        std::vector<QPDFPageObjectHelper> drawn = pages.getAllPages();
        std::vector<QPDFObjectHandle> footers;
        for (size_t i = size_t(contentsPages); i < drawn.size(); ++i)
            footers.push_back(footerForm(drawn[i]));
        // From the back: each removal renumbers the pages after it.
        for (size_t i = drawn.size(); i > size_t(contentsPages); --i)
            pages.removePage(drawn[i - 1]);
        drawn.erase(drawn.begin() + contentsPages, drawn.end());
        std::vector<QPDFObjectHandle> firstPages;
        appendReports(document, footers, &firstPages);
        addOutline(document, firstPages);
        addLinks(document, drawn, links, firstPages);

        // The writer keeps the name's pointer for its messages: the string
        // must outlive it.
        const std::string outputName = localPath(output);
        QPDFWriter writer(document, outputName.c_str());
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
    FooterStreams streams;
    size_t footer = 0;
    for (const Report &report : m_reports) {
        bool first = true;
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*report.pdf).getAllPages()) {
            QPDFObjectHandle copy = document.copyForeignObject(page.getObjectHandle());
            pages.addPage(copy, false);
            if (footer < footers.size())
                layOver(document, copy, footers[footer++], &streams);
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
