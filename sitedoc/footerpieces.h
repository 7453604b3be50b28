#pragma once

#include <QVector>

#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <string>
#include <vector>

class QPDF;
class QPDFPageObjectHelper;
struct FooterPlacement;

// The foot lines of a joined document's pages, laid together from pieces
// drawn once (the words around the numbers and each digit): each piece is a
// form of the document, and a page's line is a small content stream that
// draws the pieces side by side.
class FooterPieces
{
public:
    explicit FooterPieces(QPDF &document);

    // Takes the drawing of a page that holds one piece at the line's left
    // end as the next piece. Qt gives each page one content stream; it
    // becomes the form as it is, without decoding and compressing it again.
    void addPiece(QPDFPageObjectHelper drawn);
    // Lays the foot line made of placements over page.
    void layOver(QPDFPageObjectHelper page, const QVector<FooterPlacement> &placements);

private:
    std::vector<std::string> namesIn(QPDFObjectHandle resources);

    QPDF &m_document;
    std::vector<QPDFObjectHandle> m_forms;
    // Qt gives each page of pieces resources of its own, alike on all of
    // them: the forms share one of each kind, by their text.
    std::map<std::string, QPDFObjectHandle> m_sharedResources;
    // The pieces' names in each resource dictionary that is an object of its
    // own; pages that share one share the names.
    std::map<QPDFObjGen, std::vector<std::string>> m_namesIn;
    std::map<std::string, std::string> m_placed; // a name and the page's box -> its drawing
    QPDFObjectHandle m_save; // "q", before a page's own content
};
