// The JPEG writer below is a plugin compiled in, registered by the program
// itself (ReportLogo::useBuiltJpeg) rather than found on disk.
#define QT_STATICPLUGIN

#include "report/reportlogo.h"

#include "img/opaquelogo.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageIOPlugin>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QPluginLoader>
#include <QResource>

#include <cstring>

namespace {

QImage opaqueLogo()
{
    const QResource resource(QStringLiteral(":/img/reportlogo.rgb32"));
    const QByteArray raw = resource.uncompressedData();
    OpaqueLogoHeader header;
    if (raw.size() >= int(sizeof header))
        std::memcpy(&header, raw.constData(), sizeof header);
    const qsizetype rowBytes = qsizetype(header.width) * OpaqueLogoPixelBytes;
    if (raw.size() - qsizetype(sizeof header) != rowBytes * header.height) {
        qWarning("Das Logo der Berichte ist beschädigt; die Berichte haben keines.");
        return QImage();
    }
    QImage logo(int(header.width), int(header.height), QImage::Format_RGB32);
    logo.setDotsPerMeterX(OpaqueLogoDotsPerMeter);
    logo.setDotsPerMeterY(OpaqueLogoDotsPerMeter);
    const char *pixels = raw.constData() + sizeof header;
    for (int row = 0; row < logo.height(); ++row)
        std::memcpy(logo.scanLine(row), pixels + row * rowBytes, size_t(rowBytes));
    return logo;
}

// The library paths as Qt had them, where its JPEG plugin is looked for.
QStringList &qtPluginPaths()
{
    static QStringList paths;
    return paths;
}

// Qt's own JPEG plugin, found the way Qt finds it: the first plugin for
// "jpeg" in the first of its folders that has one.
QImageIOPlugin *loadQtJpegPlugin()
{
    const QString iid = QStringLiteral(QImageIOHandlerFactoryInterface_iid);
    for (const QString &root : qAsConst(qtPluginPaths())) {
        const QDir folder(root + QStringLiteral("/imageformats"));
        for (const QString &name : folder.entryList(QDir::Files)) {
            QPluginLoader loader(folder.filePath(name));
            const QJsonObject metaData = loader.metaData();
            if (metaData.value(QStringLiteral("IID")).toString() != iid
                || !metaData.value(QStringLiteral("MetaData"))
                            .toObject()
                            .value(QStringLiteral("Keys"))
                            .toArray()
                            .contains(QStringLiteral("jpeg")))
                continue;
            auto *plugin = qobject_cast<QImageIOPlugin *>(loader.instance());
            if (plugin)
                plugin->moveToThread(QCoreApplication::instance()->thread());
            return plugin;
        }
    }
    qWarning("Qts JPEG-Modul fehlt: andere Bilder als das Logo der Berichte lassen sich nicht "
             "als JPEG schreiben.");
    return nullptr;
}

QImageIOPlugin *qtJpegPlugin()
{
    static QImageIOPlugin *const plugin = loadQtJpegPlugin();
    return plugin;
}

using WriteOptions = QMap<int, QVariant>;

// The options Qt's JPEG handler takes for writing; a write handed on to it
// gets every one of them that its caller set.
bool isWriteOption(QImageIOHandler::ImageOption option)
{
    return option == QImageIOHandler::Quality || option == QImageIOHandler::Description
           || option == QImageIOHandler::OptimizedWrite
           || option == QImageIOHandler::ProgressiveScanWrite
           || option == QImageIOHandler::ImageTransformation;
}

// What Qt's PDF writer sets on its JPEG writer for every picture.
WriteOptions pdfWriterOptions()
{
    return {{QImageIOHandler::Quality, PdfJpegQuality},
            {QImageIOHandler::OptimizedWrite, false},
            {QImageIOHandler::ProgressiveScanWrite, false},
            {QImageIOHandler::ImageTransformation, int(QImageIOHandler::TransformationNone)}};
}

// Everything of an image that goes into its JPEG, compared with the logo.
bool isReportLogo(const QImage &image)
{
    const QImage &logo = ReportLogo::image();
    return image == logo && image.dotsPerMeterX() == logo.dotsPerMeterX()
           && image.dotsPerMeterY() == logo.dotsPerMeterY() && image.textKeys() == logo.textKeys()
           && image.colorSpace() == logo.colorSpace();
}

const QByteArray &builtJpeg()
{
    static const QByteArray jpeg
            = QResource(QStringLiteral(":/img/reportlogo.jpg")).uncompressedData();
    return jpeg;
}

// Writes the logo, with the options of Qt's PDF writer, as the build encoded
// it; hands every other write to Qt's JPEG handler unchanged.
class LogoJpegHandler : public QImageIOHandler
{
public:
    bool canRead() const override { return false; }
    bool read(QImage *) override { return false; }

    bool write(const QImage &image) override
    {
        const QByteArray &jpeg = builtJpeg();
        if (!jpeg.isEmpty() && m_options == pdfWriterOptions() && isReportLogo(image))
            return device()->write(jpeg) == jpeg.size();
        QImageIOPlugin *qt = qtJpegPlugin();
        if (!qt)
            return false;
        QScopedPointer<QImageIOHandler> handler(qt->create(device(), format()));
        for (auto it = m_options.cbegin(); it != m_options.cend(); ++it) {
            if (handler->supportsOption(ImageOption(it.key())))
                handler->setOption(ImageOption(it.key()), it.value());
        }
        return handler->write(image);
    }

    bool supportsOption(ImageOption option) const override { return isWriteOption(option); }
    QVariant option(ImageOption option) const override { return m_options.value(option); }
    void setOption(ImageOption option, const QVariant &value) override
    {
        m_options.insert(option, value);
    }

private:
    WriteOptions m_options;
};

} // namespace

// Writes JPEG only (reading goes nowhere): compiled in, and registered by
// ReportLogo::useBuiltJpeg() alone.
class LogoJpegPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "reportlogo.json")

public:
    Capabilities capabilities(QIODevice *, const QByteArray &format) const override
    {
        return format == "jpeg" || format == "jpg" ? Capabilities(CanWrite) : Capabilities();
    }

    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new LogoJpegHandler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};

#include "reportlogo.moc"

const QImage &ReportLogo::image()
{
    static const QImage logo = opaqueLogo();
    return logo;
}

void ReportLogo::useBuiltJpeg()
{
    static const bool inUse = [] {
        qtPluginPaths() = QCoreApplication::libraryPaths();
        QCoreApplication::setLibraryPaths(QStringList());
        qRegisterStaticPluginFunction(qt_static_plugin_LogoJpegPlugin());
        // Made here, on the main thread: Qt makes a compiled-in plugin on
        // its first use, unguarded, and that may be on two pool threads at once.
        return QImageWriter::supportedImageFormats().contains("jpeg");
    }();
    Q_UNUSED(inUse)
}
