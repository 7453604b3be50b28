#pragma once

#include "system/scratchfile.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>

// Where large runs of bytes wait on disk for a reader that comes back for
// pieces of them: one unnamed temporary file that grows, read at any offset.
// A document joined from many parts keeps each part's bytes here once, and
// one open file serves every read, however many parts there are.
class ByteStore
{
public:
    ByteStore() = default;

    // Appends bytes; returns where they begin, or -1 with the reason.
    qint64 append(const QByteArray &bytes, QString *reason);
    // Up to length bytes from offset; fewer (or none) at the end or on an
    // error.
    size_t read(qint64 offset, char *data, size_t length) const;

private:
    Q_DISABLE_COPY(ByteStore)

    ScratchFile m_file;
    bool m_created = false;
    qint64 m_size = 0;
};
