#include "cli/combinedpdf.h"

#include "cli/console.h"

#include "system/systemerror.h"

#include <QFile>
#include <QTemporaryFile>

#include <qpdf/Buffer.hh>
#include <qpdf/InputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int PrintFlag = 4; // an annotation's /F: printed, as PDF/A asks
// The document goes out in large pieces: each write is a system call.
constexpr size_t OutputBufferSize = 1 << 20;

using Console::text;

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

// A page of foot-line pieces as a form. Qt gives each page one content
// stream; that stream becomes the form as it is, without decoding and
// compressing it again. Qt also gives each page resources of its own, alike
// on all pages of pieces: the forms share one of each kind
// (sharedResources, by their text).
QPDFObjectHandle footerForm(QPDFPageObjectHelper page,
                            std::map<std::string, QPDFObjectHandle> *sharedResources)
{
    QPDFObjectHandle content = page.getObjectHandle().getKey("/Contents");
    if (!content.isStream())
        return page.getFormXObjectForPage();
    QPDFObjectHandle form = content.getDict();
    form.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    form.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    form.replaceKey("/BBox", page.getMediaBox());
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    QPDFObjectHandle &shared = (*sharedResources)[resources.unparseResolved()];
    if (!shared.isInitialized())
        shared = resources;
    form.replaceKey("/Resources", shared);
    return content;
}

// Whether a and b are the same resource: the same object, or alike.
bool sameResource(QPDFObjectHandle a, QPDFObjectHandle b)
{
    if (a.isIndirect() || b.isIndirect())
        return a.isIndirect() && b.isIndirect() && a.getObjGen() == b.getObjGen();
    return a.unparse() == b.unparse();
}

// Whether resources names nothing that shared names otherwise.
bool agrees(QPDFObjectHandle shared, QPDFObjectHandle resources)
{
    for (const auto &category : resources.getDictAsMap()) {
        QPDFObjectHandle known = shared.getKey(category.first);
        if (known.isNull())
            continue;
        QPDFObjectHandle named = category.second;
        if (!known.isDictionary() || !named.isDictionary()) {
            if (!sameResource(known, named))
                return false;
            continue;
        }
        for (const auto &entry : named.getDictAsMap()) {
            if (known.hasKey(entry.first) && !sameResource(known.getKey(entry.first), entry.second))
                return false;
        }
    }
    return true;
}

void merge(QPDFObjectHandle shared, QPDFObjectHandle resources)
{
    for (const auto &category : resources.getDictAsMap()) {
        QPDFObjectHandle named = category.second;
        if (!named.isDictionary()) {
            if (!shared.hasKey(category.first))
                shared.replaceKey(category.first, named);
            continue;
        }
        QPDFObjectHandle known = shared.getKey(category.first);
        if (!known.isDictionary()) {
            known = QPDFObjectHandle::newDictionary();
            shared.replaceKey(category.first, known);
        }
        for (const auto &entry : named.getDictAsMap())
            known.replaceKey(entry.first, entry.second);
    }
}

// What every Qt page carries and the document need not keep in memory: an
// empty list of annotations, and its content's length as an object of its
// own (the writer writes the lengths anew).
void trim(QPDFPageObjectHelper page)
{
    QPDFObjectHandle object = page.getObjectHandle();
    QPDFObjectHandle annotations = object.getKey("/Annots");
    if (annotations.isArray() && annotations.getArrayNItems() == 0)
        object.removeKey("/Annots");
    QPDFObjectHandle content = object.getKey("/Contents");
    if (!content.isStream())
        return;
    QPDFObjectHandle dictionary = content.getDict();
    QPDFObjectHandle length = dictionary.getKey("/Length");
    if (length.isIndirect() && length.isInteger())
        dictionary.replaceKey("/Length", QPDFObjectHandle::newInteger(length.getIntValue()));
}

// Qt gives every page resources of its own, named after their objects, so
// the pages of one volume agree on every name: they get one dictionary,
// copied once instead of once per page. A page that disagrees keeps its own.
void shareResources(QPDF &volume, const std::vector<QPDFPageObjectHelper> &pages)
{
    QPDFObjectHandle shared = volume.makeIndirectObject(QPDFObjectHandle::newDictionary());
    for (QPDFPageObjectHelper page : pages) {
        trim(page);
        QPDFObjectHandle resources = page.getAttribute("/Resources", false);
        if (!resources.isDictionary() || !agrees(shared, resources))
            continue;
        merge(shared, resources);
        page.getObjectHandle().replaceKey("/Resources", shared);
    }
}

// The pieces of the foot lines as forms, and what lays them over a page.
struct FooterPieces
{
    std::vector<QPDFObjectHandle> forms;
    // The pieces' names in each resource dictionary that is an object of
    // its own; pages that share one share the names.
    std::map<QPDFObjGen, std::vector<std::string>> namesIn;
    std::map<std::string, std::string> placed; // a name and the page's box -> its drawing
    QPDFObjectHandle save; // "q", before the report's own content
};

// The names of the pieces in resources, added where they are missing. The
// pieces are the same for every page, so a dictionary shared by several
// pages takes them once.
std::vector<std::string> pieceNames(QPDFObjectHandle resources, FooterPieces *pieces)
{
    const bool own = resources.isIndirect();
    if (own) {
        const auto known = pieces->namesIn.find(resources.getObjGen());
        if (known != pieces->namesIn.end())
            return known->second;
    }
    QPDFObjectHandle forms = resources.getKey("/XObject");
    // A dictionary of forms of its own may serve other resources as well,
    // where the names could clash.
    forms = forms.isDictionary() ? (forms.isIndirect() ? forms.shallowCopy() : forms)
                                 : QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", forms);
    std::vector<std::string> names;
    int suffix = 1;
    for (const QPDFObjectHandle &form : pieces->forms) {
        names.push_back(resources.getUniqueResourceName("/BmFoot", suffix));
        forms.replaceKey(names.back(), form);
    }
    if (own)
        pieces->namesIn[resources.getObjGen()] = names;
    return names;
}

// Lays the foot line made of placements over page.
void layOver(QPDF &document, QPDFPageObjectHelper page, const QVector<FooterPlacement> &placements,
             FooterPieces *pieces)
{
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        page.getObjectHandle().replaceKey("/Resources", resources);
    }
    const std::vector<std::string> names = pieceNames(resources, pieces);
    QPDFObjectHandle mediaBox = page.getMediaBox();
    // The report's drawing state, whatever it is left as, does not reach the foot line.
    std::string drawing = "\nQ\n";
    for (const FooterPlacement &placement : placements) {
        const std::string &name = names.at(size_t(placement.piece));
        // Every piece has the box of its page: worked out once per size.
        std::string &placed = pieces->placed[name + mediaBox.unparse()];
        if (placed.empty()) {
            placed = page.placeFormXObject(pieces->forms.at(size_t(placement.piece)), name,
                                           mediaBox.getArrayAsRectangle());
        }
        drawing += "q 1 0 0 1 " + QByteArray::number(placement.shift, 'f', 3).toStdString()
                   + " 0 cm\n" + placed + "\nQ\n";
    }
    if (!pieces->save.isInitialized())
        pieces->save = document.newStream("q\n");
    page.addPageContents(pieces->save, true);
    page.addPageContents(document.newStream(drawing), false);
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

void addLinks(QPDF &document, const std::vector<QPDFObjectHandle> &contents,
              const QVector<ContentsLink> &links, const std::vector<QPDFObjectHandle> &firstPages)
{
    for (const ContentsLink &link : links) {
        QPDFObjectHandle page = contents.at(size_t(link.page));
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray()) {
            annotations = QPDFObjectHandle::newArray();
            page.replaceKey("/Annots", annotations);
        }
        annotations.appendItem(document.makeIndirectObject(
                linkAnnotation(link.area, firstPages.at(size_t(link.device)))));
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

// What two images must have alike to be compared to the byte: their
// dictionary but for the length, which may be an object of its own.
std::string imageKey(QPDFObjectHandle image)
{
    std::string key;
    for (const auto &entry : image.getDict().getDictAsMap()) {
        if (entry.first != "/Length")
            key += entry.first + ' ' + QPDFObjectHandle(entry.second).unparse();
    }
    return key;
}

// Compares the bytes piped through it with expected, without keeping them.
class SameBytes : public Pipeline
{
public:
    explicit SameBytes(const Buffer &expected)
        : Pipeline("comparison", nullptr)
        , m_expected(expected)
    { }

    void write(const unsigned char *data, size_t length) override
    {
        m_same = m_same && m_done + length <= m_expected.getSize()
                 && std::memcmp(m_expected.getBuffer() + m_done, data, length) == 0;
        m_done += length;
    }

    void finish() override { }
    bool same() const { return m_same && m_done == m_expected.getSize(); }

private:
    const Buffer &m_expected;
    size_t m_done = 0;
    bool m_same = true;
};

} // namespace

#ifdef Q_OS_UNIX
namespace {

// pread() and pwrite() until length bytes are done, or the file ends, or
// an error; the bytes done.
template<typename Transfer>
size_t transferAt(Transfer transfer, qint64 offset, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t count = transfer(done, off_t(offset) + off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += size_t(count);
    }
    return done;
}

size_t readAt(int descriptor, qint64 offset, char *data, size_t length)
{
    return transferAt([&](size_t done,
                          off_t at) { return ::pread(descriptor, data + done, length - done, at); },
                      offset, length);
}

size_t writeAt(int descriptor, qint64 offset, const char *data, size_t length)
{
    return transferAt(
            [&](size_t done, off_t at) {
                return ::pwrite(descriptor, data + done, length - done, at);
            },
            offset, length);
}

} // namespace
#endif

// Where the volumes' bytes wait for the writer. Each volume is read once,
// whole; once its objects are copied its bytes are appended to one
// temporary file, from which the writer reads the stream data it copies.
// The writer asks for each volume's streams a few times, level by level
// (pages, their contents, then fonts): one file serves them all without an
// opening per volume, and a run over any number of devices holds one
// descriptor. Plain system calls where there are: Qt's file class costs
// more per call than the reading itself.
class ReportStore
{
public:
    // The whole file at path; throws with the system's reason.
    static QByteArray readFile(const QString &path)
    {
#ifdef Q_OS_UNIX
        const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            throw std::runtime_error(systemErrorText(errno).toStdString());
        QByteArray contents;
        struct stat info;
        bool whole = ::fstat(descriptor, &info) == 0;
        if (whole) {
            contents.resize(int(info.st_size));
            whole = readAt(descriptor, 0, contents.data(), size_t(contents.size()))
                    == size_t(contents.size());
        }
        const int error = errno;
        ::close(descriptor);
        if (!whole)
            throw std::runtime_error(systemErrorText(error).toStdString());
        return contents;
#else
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        return file.readAll();
#endif
    }

    // Appends contents; returns where they begin. Throws with the reason.
    qint64 keep(const QByteArray &contents)
    {
        if (!m_file.isOpen() && !m_file.open())
            throw std::runtime_error(m_file.errorString().toStdString());
        const qint64 start = m_size;
#ifdef Q_OS_UNIX
        if (writeAt(m_file.handle(), start, contents.constData(), size_t(contents.size()))
            != size_t(contents.size()))
            throw std::runtime_error(systemErrorText(errno).toStdString());
#else
        if (!m_file.seek(start) || m_file.write(contents) != contents.size())
            throw std::runtime_error(m_file.errorString().toStdString());
#endif
        m_size += contents.size();
        return start;
    }

    // Fewer bytes than asked, or none, tell qpdf the data is cut short.
    size_t read(qint64 offset, char *data, size_t length)
    {
#ifdef Q_OS_UNIX
        return readAt(m_file.handle(), offset, data, length);
#else
        return m_file.seek(offset) ? size_t(qMax<qint64>(0, m_file.read(data, qint64(length)))) : 0;
#endif
    }

private:
    QTemporaryFile m_file;
    qint64 m_size = 0;
};

namespace {

// A PDF file as qpdf reads it: from memory while its objects are parsed and
// copied, then from the store, for the stream data qpdf copies only when it
// writes.
class ReportSource : public InputSource
{
public:
    ReportSource(const QString &path, std::shared_ptr<ReportStore> store)
        : m_name(localPath(path))
        , m_store(std::move(store))
        , m_contents(ReportStore::readFile(path))
        , m_size(m_contents.size())
    { }

    // From now on read from the store. Throws with the reason.
    void store()
    {
        m_start = m_store->keep(m_contents);
        drop();
    }

    // Nothing is read from now on.
    void drop()
    {
        m_contents = QByteArray();
        m_held = false;
    }

    qpdf_offset_t findAndSkipNextEOL() override
    {
        while (m_position < m_size && !isLineEnd(m_position))
            ++m_position;
        const qpdf_offset_t end = m_position;
        while (m_position < m_size && isLineEnd(m_position))
            ++m_position;
        return end;
    }

    const std::string &getName() const override { return m_name; }
    qpdf_offset_t tell() override { return m_position; }

    void seek(qpdf_offset_t offset, int whence) override
    {
        const qpdf_offset_t from = whence == SEEK_END   ? m_size
                                   : whence == SEEK_CUR ? m_position
                                                        : 0;
        if (from + offset < 0)
            throw std::runtime_error(m_name + ": seek before the start of the file");
        m_position = from + offset;
    }

    void rewind() override { m_position = 0; }

    size_t read(char *data, size_t length) override
    {
        last_offset = m_position;
        const size_t count = fetch(m_position, data, length);
        m_position += qpdf_offset_t(count);
        return count;
    }

    void unreadCh(char) override
    {
        if (m_position > 0)
            --m_position;
    }

private:
    size_t fetch(qpdf_offset_t offset, char *data, size_t length) const
    {
        if (offset >= m_size)
            return 0;
        length = size_t(qMin(qpdf_offset_t(length), m_size - offset));
        if (!m_held)
            return m_start < 0 ? 0 : m_store->read(m_start + offset, data, length);
        std::memcpy(data, m_contents.constData() + offset, length);
        return length;
    }

    bool isLineEnd(qpdf_offset_t offset) const
    {
        char c = 0;
        return fetch(offset, &c, 1) == 1 && (c == '\r' || c == '\n');
    }

    std::string m_name;
    std::shared_ptr<ReportStore> m_store;
    QByteArray m_contents; // while held
    qpdf_offset_t m_size = 0;
    bool m_held = true;
    qint64 m_start = -1; // in the store, once stored
    qpdf_offset_t m_position = 0;
};

// Reads the PDF at path into pdf.
std::shared_ptr<ReportSource> open(QPDF &pdf, const QString &path,
                                   const std::shared_ptr<ReportStore> &store)
{
    auto source = std::make_shared<ReportSource>(path, store);
    pdf.setSuppressWarnings(true);
    pdf.processInputSource(source);
    return source;
}

} // namespace

struct CombinedPdf::SharedImages
{
    struct Image
    {
        QPDFObjectHandle image;
        std::shared_ptr<Buffer> data; // once another image looks like it
    };
    std::map<std::string, Image> byKey; // by what they must have alike
};

CombinedPdf::CombinedPdf()
    : m_document(std::make_unique<QPDF>())
    , m_store(std::make_shared<ReportStore>())
    , m_images(std::make_unique<SharedImages>())
{
    m_document->emptyPDF();
}

CombinedPdf::~CombinedPdf() = default;

bool CombinedPdf::addVolume(const QString &path, QString *reason)
{
    m_volumePages.emplace_back();
    std::shared_ptr<ReportSource> source;
    try {
        QPDF volume;
        source = open(volume, path, m_store);
        QPDFPageDocumentHelper volumePages(volume);
        volumePages.pushInheritedAttributesToPage();
        const std::vector<QPDFPageObjectHelper> pages = volumePages.getAllPages();
        shareResources(volume, pages);
        std::vector<QPDFObjectHandle> copies;
        copies.reserve(pages.size());
        for (const QPDFPageObjectHelper &page : pages)
            copies.push_back(m_document->copyForeignObject(page.getObjectHandle()));
        for (const QPDFObjectHandle &copy : copies)
            shareImages(copy);
        // Copied: from now on only the writer reads the volume, for the
        // streams, from the store.
        source->store();
        noteVersion(volume);
        m_volumePages.back() = std::move(copies);
        return true;
    } catch (const std::exception &error) {
        if (source)
            source->drop();
        *reason = text("Der Sammelband %1 lässt sich nicht lesen: %2")
                          .arg(path, QString::fromStdString(error.what()));
        return false;
    }
}

bool CombinedPdf::addReport(int volume, int firstPage, int pageCount, const QString &bookmark,
                            QString *reason)
{
    const bool known = volume >= 0 && size_t(volume) < m_volumePages.size();
    if (!known || firstPage < 0 || pageCount < 1
        || size_t(firstPage) + size_t(pageCount) > m_volumePages[size_t(volume)].size()) {
        *reason = text("Der Bericht fehlt in seinem Sammelband.");
        return false;
    }
    QPDFPageDocumentHelper document(*m_document);
    for (int page = firstPage; page < firstPage + pageCount; ++page)
        document.addPage(m_volumePages[size_t(volume)][size_t(page)], false);
    m_reports.push_back({bookmark, m_pageCount});
    m_pageCount += size_t(pageCount);
    return true;
}

// Every volume carries the logo: the document holds one copy of each image
// that is the same to the byte, and the pages use that one.
void CombinedPdf::shareImages(QPDFObjectHandle page)
{
    QPDFObjectHandle resources = page.getKey("/Resources");
    QPDFObjectHandle images
            = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle();
    if (!images.isDictionary())
        return;
    for (const std::string &name : images.getKeys()) {
        QPDFObjectHandle image = images.getKey(name);
        if (!image.isStream() || !image.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
            continue;
        SharedImages::Image &shared = m_images->byKey[imageKey(image)];
        if (!shared.image.isInitialized()) {
            shared.image = image;
            continue;
        }
        // Pages that share their resources come here with the kept one.
        if (image.getObjGen() == shared.image.getObjGen())
            continue;
        // Compared to the byte only when two images look alike: only then
        // is the kept one's data held in memory.
        if (!shared.data)
            shared.data = shared.image.getRawStreamData();
        SameBytes same(*shared.data);
        bool decoded = false;
        if (image.pipeStreamData(&same, &decoded, 0, qpdf_dl_none) && same.same())
            images.replaceKey(name, shared.image);
    }
}

bool CombinedPdf::write(const QString &contentsPath, const ContentsPages &contents,
                        const QString &output, QString *reason)
{
    try {
        {
            QPDF contentsPdf;
            const std::shared_ptr<ReportSource> source = open(contentsPdf, contentsPath, m_store);
            const std::vector<QPDFPageObjectHelper> drawn
                    = QPDFPageDocumentHelper(contentsPdf).getAllPages();
            const std::vector<QPDFPageObjectHelper> reportPages
                    = QPDFPageDocumentHelper(*m_document).getAllPages();
            if (int(drawn.size()) != contents.contentsPageCount() + contents.footerPieceCount()
                || int(reportPages.size()) + contents.contentsPageCount()
                           != contents.totalPageCount())
                throw std::runtime_error(
                        utf8(text("die Inhaltsseiten passen nicht zu den Seiten der Berichte")));
            layFooters(drawn, contents, reportPages);
            std::vector<QPDFObjectHandle> firstPages;
            for (const Report &report : m_reports)
                firstPages.push_back(reportPages.at(report.firstPage).getObjectHandle());
            addLinks(*m_document, prependContents(drawn, size_t(contents.contentsPageCount())),
                     contents.links(), firstPages);
            adoptCatalog(contentsPdf);
            addOutline(firstPages);
            noteVersion(contentsPdf);
            source->store();
        }
        writeFile(output);
        return true;
    } catch (const std::exception &error) {
        *reason = text("Das Gesamtdokument %1 lässt sich nicht zusammenstellen: %2")
                          .arg(output, QString::fromStdString(error.what()));
        return false;
    }
}

// Lays each report page's foot line over it: the pieces drawn once in the
// contents document, side by side.
void CombinedPdf::layFooters(const std::vector<QPDFPageObjectHelper> &drawn,
                             const ContentsPages &contents,
                             const std::vector<QPDFPageObjectHelper> &reportPages)
{
    std::map<std::string, QPDFObjectHandle> sharedResources;
    FooterPieces pieces;
    for (int piece = 0; piece < contents.footerPieceCount(); ++piece) {
        const QPDFPageObjectHelper &page
                = drawn.at(size_t(contents.contentsPageCount()) + size_t(piece));
        pieces.forms.push_back(m_document->copyForeignObject(footerForm(page, &sharedResources)));
    }
    for (size_t i = 0; i < reportPages.size(); ++i) {
        layOver(*m_document, reportPages.at(i),
                contents.footerOf(contents.contentsPageCount() + int(i) + 1), &pieces);
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

void CombinedPdf::addOutline(const std::vector<QPDFObjectHandle> &firstPages)
{
    QPDF &document = *m_document;
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

// PDF versions compare as text: "1.4" < "1.7" < "2.0".
void CombinedPdf::noteVersion(QPDF &part)
{
    const std::string version = part.getPDFVersion();
    if (version > m_version)
        m_version = version;
}

void CombinedPdf::writeFile(const QString &output)
{
    // The writer keeps the name's pointer for its messages: the string
    // must outlive it.
    const std::string outputName = localPath(output);
    std::FILE *file = std::fopen(outputName.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error(systemErrorText(errno).toStdString());
    std::setvbuf(file, nullptr, _IOFBF, OutputBufferSize);
    QPDFWriter writer(*m_document);
    writer.setOutputFile(outputName.c_str(), file, true);
    // Streams exactly as the parts hold them, neither decoded nor
    // compressed; no object streams and a line end before "endstream", as
    // PDF/A-1 asks.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setNewlineBeforeEndstream(true);
    writer.setMinimumPDFVersion(m_version);
    writer.write();
}
