#include "sitedoc/combinedpdf.h"

#include "sitedoc/footerpieces.h"
#include "sitedoc/sharedresources.h"
#include "sitedoc/storedpdfsource.h"
#include "system/bytestore.h"
#include "system/systemerror.h"

#include <QFile>
#include <QScopeGuard>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

constexpr int PrintFlag = 4; // an annotation's /F: printed, as PDF/A asks
// The document goes out in large pieces: each write is a system call.
constexpr size_t OutputBufferSize = 1 << 20;

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

void addLinks(QPDF &document, const std::vector<QPDFObjectHandle> &front,
              const QVector<ContentsLink> &links, const std::vector<QPDFObjectHandle> &firstPages)
{
    for (const ContentsLink &link : links) {
        QPDFObjectHandle page = front.at(size_t(link.page));
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray()) {
            annotations = QPDFObjectHandle::newArray();
            page.replaceKey("/Annots", annotations);
        }
        annotations.appendItem(document.makeIndirectObject(
                linkAnnotation(link.area, link.device >= 0 ? firstPages.at(size_t(link.device))
                                                           : front.at(size_t(link.frontPage)))));
    }
}

// object, which belongs to from, as an object of to. qpdf copies indirect
// objects only; a direct one is copied through an indirect stand-in and
// stays direct.
QPDFObjectHandle copied(QPDF &to, QPDF &from, const QPDFObjectHandle &object)
{
    if (object.isIndirect())
        return to.copyForeignObject(object);
    return to.copyForeignObject(from.makeIndirectObject(object)).shallowCopy();
}

} // namespace

struct CombinedPdf::Bookmark
{
    std::string title; // UTF-8
    QPDFObjectHandle page;
};

CombinedPdf::CombinedPdf(const QString &documentName)
    : m_name(documentName)
    , m_document(std::make_unique<QPDF>())
    , m_store(std::make_shared<ByteStore>())
    , m_images(std::make_unique<SharedImages>())
{
    m_document->emptyPDF();
    // Its reasons go into the messages in German; qpdf's own English
    // warnings would only repeat them.
    m_document->setSuppressWarnings(true);
}

// qpdf's own reasons are English and about objects; ours are German.
QString CombinedPdf::whyFailed(const std::exception &error)
{
    if (dynamic_cast<const QPDFExc *>(&error))
        return tr("ein Teil ist unvollständig oder beschädigt");
    return QString::fromStdString(error.what());
}

void CombinedPdf::checkNotStopped() const
{
    if (m_stopped && m_stopped())
        throw std::runtime_error(utf8(tr("abgebrochen")));
}

CombinedPdf::~CombinedPdf() = default;

bool CombinedPdf::addVolume(const QByteArray &bytes, QString *reason)
{
    m_volumePages.emplace_back();
    std::shared_ptr<StoredPdfSource> source;
    try {
        checkNotStopped();
        QPDF volume;
        source = StoredPdfSource::open(volume, tr("Sammelband %1").arg(m_volumePages.size()), bytes,
                                       m_store);
        QPDFPageDocumentHelper volumePages(volume);
        volumePages.pushInheritedAttributesToPage();
        const std::vector<QPDFPageObjectHelper> pages = volumePages.getAllPages();
        shareResources(volume, pages);
        std::vector<QPDFObjectHandle> copies;
        copies.reserve(pages.size());
        for (const QPDFPageObjectHelper &page : pages)
            copies.push_back(m_document->copyForeignObject(page.getObjectHandle()));
        for (const QPDFObjectHandle &copy : copies)
            m_images->share(copy);
        // Copied: from now on only the writer reads the volume, for the
        // streams, from the store.
        source->store();
        noteVersion(volume);
        m_volumePages.back() = std::move(copies);
        return true;
    } catch (const std::exception &error) {
        if (source)
            source->drop();
        *reason = tr("Ein Sammelband des Gesamtdokuments %1 lässt sich nicht lesen: %2")
                          .arg(m_name, whyFailed(error));
        return false;
    }
}

bool CombinedPdf::addReport(int volume, int firstPage, int pageCount, const QString &bookmark,
                            QString *reason)
{
    const bool known = volume >= 0 && size_t(volume) < m_volumePages.size();
    if (!known || firstPage < 0 || pageCount < 1
        || size_t(firstPage) + size_t(pageCount) > m_volumePages[size_t(volume)].size()) {
        *reason = tr("Der Bericht fehlt in seinem Sammelband.");
        return false;
    }
    QPDFPageDocumentHelper document(*m_document);
    for (int page = firstPage; page < firstPage + pageCount; ++page)
        document.addPage(m_volumePages[size_t(volume)][size_t(page)], false);
    m_reports.push_back({bookmark, m_pageCount});
    m_pageCount += size_t(pageCount);
    return true;
}

bool CombinedPdf::write(const QByteArray &contentsBytes, const ContentsPages &contents,
                        const QString &output, QString *reason)
{
    try {
        {
            QPDF contentsPdf;
            const std::shared_ptr<StoredPdfSource> source = StoredPdfSource::open(
                    contentsPdf, tr("Inhaltsseiten"), contentsBytes, m_store);
            const std::vector<QPDFPageObjectHelper> drawn
                    = QPDFPageDocumentHelper(contentsPdf).getAllPages();
            const std::vector<QPDFPageObjectHelper> reportPages
                    = QPDFPageDocumentHelper(*m_document).getAllPages();
            if (int(drawn.size()) != contents.frontPageCount() + contents.footerPieceCount()
                || int(reportPages.size()) + contents.frontPageCount() != contents.totalPageCount())
                throw std::runtime_error(
                        utf8(tr("die Inhaltsseiten passen nicht zu den Seiten der Berichte")));
            layFooters(drawn, contents, reportPages);
            std::vector<QPDFObjectHandle> firstPages;
            for (const Report &report : m_reports)
                firstPages.push_back(reportPages.at(report.firstPage).getObjectHandle());
            const std::vector<QPDFObjectHandle> front
                    = prependContents(drawn, size_t(contents.frontPageCount()));
            addLinks(*m_document, front, contents.links(), firstPages);
            adoptCatalog(contentsPdf);
            std::vector<Bookmark> bookmarks {
                    {utf8(tr("Termine")), front.at(size_t(contents.datesPageIndex()))}};
            for (size_t i = 0; i < m_reports.size(); ++i)
                bookmarks.push_back({utf8(m_reports[i].bookmark), firstPages.at(i)});
            addOutline(bookmarks);
            noteVersion(contentsPdf);
            source->store();
        }
        writeFile(output);
        return true;
    } catch (const std::exception &error) {
        *reason = tr("Das Gesamtdokument %1 lässt sich nicht zusammenstellen: %2")
                          .arg(m_name, whyFailed(error));
        return false;
    }
}

// Lays each report page's foot line over it: the pieces drawn once in the
// contents document, side by side.
void CombinedPdf::layFooters(const std::vector<QPDFPageObjectHelper> &drawn,
                             const ContentsPages &contents,
                             const std::vector<QPDFPageObjectHelper> &reportPages)
{
    FooterPieces pieces(*m_document);
    for (int piece = 0; piece < contents.footerPieceCount(); ++piece)
        pieces.addPiece(drawn.at(size_t(contents.frontPageCount()) + size_t(piece)));
    for (size_t i = 0; i < reportPages.size(); ++i) {
        checkNotStopped();
        pieces.layOver(reportPages.at(i),
                       contents.footerOf(contents.frontPageCount() + int(i) + 1));
    }
}

// Puts the contents pages in front of the reports; returns them in order.
std::vector<QPDFObjectHandle>
CombinedPdf::prependContents(const std::vector<QPDFPageObjectHelper> &drawn, size_t contentsPages)
{
    std::vector<QPDFObjectHandle> copies;
    for (size_t i = 0; i < contentsPages; ++i)
        copies.push_back(m_document->copyForeignObject(drawn.at(i).getObjectHandle()));
    QPDFPageDocumentHelper pages(*m_document);
    for (auto page = copies.rbegin(); page != copies.rend(); ++page)
        pages.addPage(*page, true);
    return copies;
}

// The contents document's catalog entries and document information, which
// with --pdfa hold the output intent and the metadata.
void CombinedPdf::adoptCatalog(QPDF &contents)
{
    QPDFObjectHandle catalog = m_document->getRoot();
    for (const auto &entry : contents.getRoot().getDictAsMap()) {
        if (entry.first != "/Type" && entry.first != "/Pages")
            catalog.replaceKey(entry.first, copied(*m_document, contents, entry.second));
    }
    QPDFObjectHandle info = contents.getTrailer().getKey("/Info");
    if (info.isDictionary())
        m_document->getTrailer().replaceKey("/Info", copied(*m_document, contents, info));
}

void CombinedPdf::addOutline(const std::vector<Bookmark> &bookmarks)
{
    QPDF &document = *m_document;
    QPDFObjectHandle outline = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
    outline.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    QPDFObjectHandle previous;
    for (const Bookmark &bookmark : bookmarks) {
        QPDFObjectHandle item = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(bookmark.title));
        item.replaceKey("/Parent", outline);
        item.replaceKey("/Dest", destination(bookmark.page));
        if (previous.isInitialized()) {
            item.replaceKey("/Prev", previous);
            previous.replaceKey("/Next", item);
        } else {
            outline.replaceKey("/First", item);
        }
        previous = item;
    }
    outline.replaceKey("/Last", previous);
    outline.replaceKey("/Count", QPDFObjectHandle::newInteger(qint64(bookmarks.size())));
    QPDFObjectHandle catalog = document.getRoot();
    catalog.replaceKey("/Outlines", outline);
    catalog.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
}

// PDF versions compare as text: "1.4" < "1.7" < "2.0".
void CombinedPdf::noteVersion(QPDF &part)
{
    const std::string version = part.getPDFVersion();
    if (version > m_version)
        m_version = version;
}

namespace {

// The document's bytes on their way to the file: the writing can be
// stopped between any two pieces of it, and a failure is told in German.
class StoppableOutput : public Pipeline
{
public:
    StoppableOutput(std::FILE *file, std::function<void()> checkNotStopped)
        : Pipeline("stoppable output", nullptr)
        , m_file(file)
        , m_checkNotStopped(std::move(checkNotStopped))
    { }

    void write(const unsigned char *data, size_t length) override
    {
        m_checkNotStopped();
        if (std::fwrite(data, 1, length, m_file) != length)
            throw std::runtime_error(systemErrorText(errno).toStdString());
    }

    void finish() override
    {
        if (std::fflush(m_file) != 0)
            throw std::runtime_error(systemErrorText(errno).toStdString());
    }

private:
    std::FILE *m_file;
    std::function<void()> m_checkNotStopped;
};

} // namespace

void CombinedPdf::writeFile(const QString &output)
{
    // The writer keeps the name's pointer for its messages: the string
    // must outlive it.
    const std::string outputName = localPath(output);
    std::FILE *file = std::fopen(outputName.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error(systemErrorText(errno).toStdString());
    auto closeFile = qScopeGuard([file] { std::fclose(file); });
    std::setvbuf(file, nullptr, _IOFBF, OutputBufferSize);
    StoppableOutput stoppable(file, [this] { checkNotStopped(); });
    QPDFWriter writer(*m_document);
    writer.setOutputPipeline(&stoppable);
    // Streams exactly as the parts hold them, neither decoded nor
    // compressed; no object streams and a line end before "endstream", as
    // PDF/A-1 asks.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setNewlineBeforeEndstream(true);
    writer.setMinimumPDFVersion(m_version);
    writer.write();
    closeFile.dismiss();
    if (std::fclose(file) != 0)
        throw std::runtime_error(systemErrorText(errno).toStdString());
}
