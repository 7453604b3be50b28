#pragma once

#include <QCoreApplication>
#include <QTemporaryFile>
#include <QtGlobal>

#include <cstddef>

// Where large runs of bytes wait on disk for a reader that comes back for
// pieces of them: one temporary file that grows, read at any offset. A
// document joined from many parts keeps each part's bytes here once, and
// one open file serves every read, however many parts there are. Plain
// system calls where there are: Qt's file class costs more per call than
// the reading itself.
class ByteStore
{
    Q_DECLARE_TR_FUNCTIONS(ByteStore)

public:
    ByteStore() = default;

    // The whole file at path; false, with the system's reason, when it
    // cannot be read.
    static bool readFile(const QString &path, QByteArray *contents, QString *reason);

    // Appends bytes; returns where they begin, or -1 with the reason.
    qint64 append(const QByteArray &bytes, QString *reason);
    // Up to length bytes from offset; fewer (or none) at the end or on an
    // error.
    size_t read(qint64 offset, char *data, size_t length);

private:
    Q_DISABLE_COPY(ByteStore)

    QTemporaryFile m_file;
    qint64 m_size = 0;
};
