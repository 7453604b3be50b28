#include "opaquelogo.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>

namespace {

QImage opaque(const QImage &source)
{
    QImage logo(source.size(), QImage::Format_RGB32);
    logo.fill(Qt::white);
    logo.setDotsPerMeterX(OpaqueLogoDotsPerMeter);
    logo.setDotsPerMeterY(OpaqueLogoDotsPerMeter);
    QPainter painter(&logo);
    painter.drawImage(0, 0, source);
    painter.end();
    return logo;
}

bool writeRaw(const QImage &logo, const char *path)
{
    OpaqueLogoHeader header;
    header.width = quint32(logo.width());
    header.height = quint32(logo.height());
    QFile out(QString::fromLocal8Bit(path));
    bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate)
                   && out.write(reinterpret_cast<const char *>(&header), sizeof header)
                              == qint64(sizeof header);
    const qint64 rowBytes = qint64(header.width) * OpaqueLogoPixelBytes;
    for (int row = 0; written && row < logo.height(); ++row)
        written = out.write(reinterpret_cast<const char *>(logo.constScanLine(row)), rowBytes)
                  == rowBytes;
    return written && out.flush();
}

// With Qt's own JPEG writer, as Qt's PDF writer calls it for a picture.
bool writeJpeg(const QImage &logo, const char *path)
{
    QImageWriter writer(QString::fromLocal8Bit(path), "jpeg");
    writer.setQuality(PdfJpegQuality);
    return writer.write(logo);
}

} // namespace

// Lays the report logo on the page's white once, at build time, so that
// neither the PNG has to be decoded nor its transparency composited when a
// program starts; every PDF still carries the same pixels. It also encodes
// them once as the JPEG that Qt's PDF writer puts into every report, for the
// converter to take as it is (report/reportlogo.cpp).
//   make_opaque_logo LOGO.png PIXELS JPEG
int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fputs("usage: make_opaque_logo LOGO.png PIXELS JPEG\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "make_opaque_logo: cannot read %s\n", argv[1]);
        return 1;
    }
    const QImage logo = opaque(source);
    const char *failed = !writeRaw(logo, argv[2])    ? argv[2]
                         : !writeJpeg(logo, argv[3]) ? argv[3]
                                                     : nullptr;
    if (failed) {
        std::fprintf(stderr, "make_opaque_logo: cannot write %s\n", failed);
        return 1;
    }
    return 0;
}
