#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <string>
#include <vector>

class Buffer;
class QPDF;
class QPDFPageObjectHelper;

// What keeps a document joined from many Qt-drawn PDFs small: Qt gives
// every page resources of its own and every PDF its own copy of the logo.

// Qt names each resource after its object, so the pages of one volume agree
// on every name: they get one resource dictionary, copied once instead of
// once per page; a page that disagrees (another writer's) keeps its own.
// Also leaves out what every Qt page carries and the joined document need
// not keep in memory: an empty list of annotations, and its content's
// length as an object of its own (the writer writes the lengths anew).
void shareResources(QPDF &volume, const std::vector<QPDFPageObjectHelper> &pages);

// One copy of each image that is the same to the byte, however many parts
// bring it: the pages use that one.
class SharedImages
{
public:
    SharedImages();
    ~SharedImages();

    // Points page's images at the copies kept before, where they are alike.
    void share(QPDFObjectHandle page);

private:
    struct Image
    {
        QPDFObjectHandle image;
        std::shared_ptr<Buffer> data; // once another image looks like it
    };
    std::map<std::string, Image> m_byKey; // by what they must have alike
};
