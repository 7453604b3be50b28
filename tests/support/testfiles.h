#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// Writes bytes to a file and returns its path; the folder must exist.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Names of the files left in a folder, hidden ones included.
inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A configuration holding the given text inside its "configuration" object.
inline QByteArray configuration(const QByteArray &body)
{
    return "{\"configuration\": {" + body + "}}";
}

// An earlier report a test puts at a target to see what becomes of it. Its
// first line marks it, so that the check of every report the tests wrote
// passes over it.
inline QByteArray standInReport(const char *what)
{
    return QByteArray("%PDF-1.4 stand-in: ") + what + "\n%%EOF\n";
}
