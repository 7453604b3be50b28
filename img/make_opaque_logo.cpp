#include "opaquelogo.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <cstdio>

// Lays the report logo on the page's white once, at build time, so that
// neither the PNG has to be decoded nor its transparency composited when a
// program starts; every PDF still carries the same pixels.
//   make_opaque_logo LOGO.png OUTPUT
int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: make_opaque_logo LOGO.png OUTPUT\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "make_opaque_logo: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage logo(source.size(), QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.drawImage(0, 0, source);
    painter.end();

    OpaqueLogoHeader header;
    header.width = quint32(logo.width());
    header.height = quint32(logo.height());
    QFile out(QString::fromLocal8Bit(argv[2]));
    bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate)
                   && out.write(reinterpret_cast<const char *>(&header), sizeof header)
                              == qint64(sizeof header);
    const qint64 rowBytes = qint64(header.width) * OpaqueLogoPixelBytes;
    for (int row = 0; written && row < logo.height(); ++row)
        written = out.write(reinterpret_cast<const char *>(logo.constScanLine(row)), rowBytes)
                  == rowBytes;
    if (!written || !out.flush()) {
        std::fprintf(stderr, "make_opaque_logo: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
