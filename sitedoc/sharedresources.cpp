#include "sitedoc/sharedresources.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cstring>

namespace {

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

SharedImages::SharedImages() = default;
SharedImages::~SharedImages() = default;

void SharedImages::share(QPDFObjectHandle page)
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
        Image &shared = m_byKey[imageKey(image)];
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
