#include "system/reportpaths.h"

#include <QDir>
#include <QFileInfo>

namespace ReportPaths {

bool isConfiguration(const QString &path)
{
    return path.endsWith(JsonSuffix);
}

QString taskTarget(const QString &pdfPath)
{
    if (pdfPath.endsWith(PdfSuffix))
        return pdfPath;
    QString name = pdfPath;
    return name.replace(JsonSuffix, PdfSuffix);
}

QString besideSource(const QString &source)
{
    const QString stem
            = isConfiguration(source) ? source.left(source.size() - JsonSuffix.size()) : source;
    return stem + PdfSuffix;
}

QString inFolder(const QString &source, const QString &folder)
{
    return QDir(folder).absoluteFilePath(besideSource(QFileInfo(source).fileName()));
}

bool hasPdfSuffix(const QString &name)
{
    return name.endsWith(PdfSuffix, Qt::CaseInsensitive);
}

QString withPdfSuffix(const QString &name)
{
    return hasPdfSuffix(name) ? name : name + PdfSuffix;
}

} // namespace ReportPaths
