#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QIODevice>
#include <QString>

#include <cstddef>
#include <memory>

QT_BEGIN_NAMESPACE
class QTemporaryFile;
QT_END_NAMESPACE

// A temporary file that never has a name: made in the temporary folder with
// O_TMPFILE (mode 0600), or where that is not to be had, created
// exclusively under a random name that is removed at once. No other user can
// reach it or plant a link in its place, and it is gone with the process,
// however the process ends. (Without POSIX: a QTemporaryFile.)
//
// As a device it takes what a writer such as QPdfWriter puts into it, in
// large pieces, and remembers the first error; readAt() and writeAt() reach
// any offset directly.
class ScratchFile : public QIODevice
{
    Q_OBJECT

public:
    explicit ScratchFile(QObject *parent = nullptr);
    ~ScratchFile() override;

    // Makes the file and opens the device for writing and reading. False,
    // with the reason (naming the temporary folder), when it cannot be made.
    bool create(QString *reason);

    // The first error of writing, as the system's error number; 0 while
    // none has happened. flush() first to see the last bytes' fate.
    int writeError() const { return m_writeError; }
    // Why writing failed, for a message: the temporary folder and the cause.
    QString writeFailure() const;
    bool flush();

    // length bytes from offset, fewer at the end or on an error.
    size_t readAt(qint64 offset, char *data, size_t length) const;
    // All of length bytes at offset; false (and writeError() set) otherwise.
    bool writeAt(qint64 offset, const char *data, size_t length);
    // The whole file; false, with the reason, when it cannot be read.
    bool readAll(QByteArray *contents, QString *reason);

    bool isSequential() const override { return false; }
    qint64 size() const override { return qMax(m_size, m_pendingAt + m_pending.size()); }
    bool seek(qint64 pos) override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 length) override;

private:
    int m_descriptor = -1;
    std::unique_ptr<QTemporaryFile> m_fallback;
    QByteArray m_pending; // written, not yet in the file
    qint64 m_pendingAt = 0;
    qint64 m_size = 0;
    int m_writeError = 0;
};
