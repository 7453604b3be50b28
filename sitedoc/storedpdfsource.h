#pragma once

#include <QByteArray>
#include <QString>

#include <qpdf/InputSource.hh>

#include <memory>
#include <string>

class ByteStore;
class QPDF;

// A PDF file as qpdf reads it: from memory while its objects are parsed and
// copied, then from a byte store, for the stream data qpdf copies only when
// it writes.
class StoredPdfSource : public InputSource
{
public:
    // name: what qpdf's own messages call it.
    StoredPdfSource(const QString &name, const QByteArray &contents,
                    std::shared_ptr<ByteStore> store);

    // Reads the PDF contents into pdf.
    static std::shared_ptr<StoredPdfSource> open(QPDF &pdf, const QString &name,
                                                 const QByteArray &contents,
                                                 const std::shared_ptr<ByteStore> &store);

    // From now on read from the store. Throws with the reason.
    void store();
    // Nothing is read from now on.
    void drop();

    qpdf_offset_t findAndSkipNextEOL() override;
    const std::string &getName() const override { return m_name; }
    qpdf_offset_t tell() override { return m_position; }
    void seek(qpdf_offset_t offset, int whence) override;
    void rewind() override { m_position = 0; }
    size_t read(char *data, size_t length) override;
    void unreadCh(char) override;

private:
    size_t fetch(qpdf_offset_t offset, char *data, size_t length) const;
    bool isLineEnd(qpdf_offset_t offset) const;

    std::string m_name;
    std::shared_ptr<ByteStore> m_store;
    QByteArray m_contents; // while held
    qpdf_offset_t m_size = 0;
    bool m_held = true;
    qint64 m_start = -1; // in the store, once stored
    qpdf_offset_t m_position = 0;
};
