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

QString changesBeside(const QString &path)
{
    QString stem = path;
    if (isConfiguration(stem))
        stem.chop(JsonSuffix.size());
    else if (hasPdfSuffix(stem))
        stem.chop(PdfSuffix.size());
    return stem + QLatin1String("-aenderungen") + PdfSuffix;
}

QString changesInFolder(const QString &path, const QString &folder)
{
    return QDir(folder).absoluteFilePath(changesBeside(QFileInfo(path).fileName()));
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
