#include "sitedoc/footerpieces.h"

#include "sitedoc/contentspages.h"

#include <QByteArray>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace {

constexpr int ShiftDecimals = 3;

} // namespace

FooterPieces::FooterPieces(QPDF &document)
    : m_document(document)
{ }

void FooterPieces::addPiece(QPDFPageObjectHelper drawn)
{
    QPDFObjectHandle content = drawn.getObjectHandle().getKey("/Contents");
    QPDFObjectHandle form;
    if (content.isStream()) {
        QPDFObjectHandle dictionary = content.getDict();
        dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
        dictionary.replaceKey("/BBox", drawn.getMediaBox());
        QPDFObjectHandle resources = drawn.getAttribute("/Resources", false);
        QPDFObjectHandle &shared = m_sharedResources[resources.unparseResolved()];
        if (!shared.isInitialized())
            shared = resources;
        dictionary.replaceKey("/Resources", shared);
        form = content;
    } else {
        form = drawn.getFormXObjectForPage();
    }
    m_forms.push_back(m_document.copyForeignObject(form));
}

// The names of the pieces in resources, added where they are missing. The
// pieces are the same for every page, so a dictionary shared by several
// pages takes them once.
std::vector<std::string> FooterPieces::namesIn(QPDFObjectHandle resources)
{
    const bool own = resources.isIndirect();
    if (own) {
        const auto known = m_namesIn.find(resources.getObjGen());
        if (known != m_namesIn.end())
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
    for (const QPDFObjectHandle &form : m_forms) {
        names.push_back(resources.getUniqueResourceName("/BmFoot", suffix));
        forms.replaceKey(names.back(), form);
    }
    if (own)
        m_namesIn[resources.getObjGen()] = names;
    return names;
}

void FooterPieces::layOver(QPDFPageObjectHelper page, const QVector<FooterPlacement> &placements)
{
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        page.getObjectHandle().replaceKey("/Resources", resources);
    }
    const std::vector<std::string> names = namesIn(resources);
    QPDFObjectHandle mediaBox = page.getMediaBox();
    // The report's drawing state, whatever it is left as, does not reach the foot line.
    std::string drawing = "\nQ\n";
    for (const FooterPlacement &placement : placements) {
        const std::string &name = names.at(size_t(placement.piece));
        // Every piece has the box of its page: worked out once per size.
        std::string &placed = m_placed[name + mediaBox.unparse()];
        if (placed.empty()) {
            placed = page.placeFormXObject(m_forms.at(size_t(placement.piece)), name,
                                           mediaBox.getArrayAsRectangle());
        }
        drawing += "q 1 0 0 1 "
                   + QByteArray::number(placement.shift, 'f', ShiftDecimals).toStdString()
                   + " 0 cm\n" + placed + "\nQ\n";
    }
    if (!m_save.isInitialized())
        m_save = m_document.newStream("q\n");
    page.addPageContents(m_save, true);
    page.addPageContents(m_document.newStream(drawing), false);
}
