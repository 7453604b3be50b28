#include "engine/convert.h"

#include "engine/duplicatekeys.h"
#include "engine/threadhandoff.h"
#include "report/reportfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRunnable>
#include <QThreadPool>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Configuration files are a few kilobytes. Parsing takes about 17 times a
// file's size in memory, so with one conversion per pool thread the cap keeps
// even a many-core desktop far inside its memory (16 threads x 32 MiB x 17
// is under 9 GiB, and a typical machine runs far fewer at once).
constexpr qint64 BytesPerMiB = qint64(1024) * 1024;
constexpr qint64 MaxSourceBytes = 32 * BytesPerMiB;

QString parseErrorText(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return convert::tr("ein Objekt ist nicht abgeschlossen");
    case QJsonParseError::MissingNameSeparator:
        return convert::tr("nach einem Schlüssel fehlt der Doppelpunkt");
    case QJsonParseError::UnterminatedArray:
        return convert::tr("eine Liste ist nicht abgeschlossen");
    case QJsonParseError::MissingValueSeparator:
        return convert::tr("zwischen zwei Werten fehlt das Komma");
    case QJsonParseError::IllegalValue:
        return convert::tr("ungültiger Wert");
    case QJsonParseError::TerminationByNumber:
        return convert::tr("der Text endet mitten in einer Zahl");
    case QJsonParseError::IllegalNumber:
        return convert::tr("ungültige Zahl");
    case QJsonParseError::IllegalEscapeSequence:
        return convert::tr("ungültige Escape-Sequenz");
    case QJsonParseError::IllegalUTF8String:
        return convert::tr("ungültiges UTF-8");
    case QJsonParseError::UnterminatedString:
        return convert::tr("eine Zeichenkette ist nicht abgeschlossen");
    case QJsonParseError::MissingObject:
        return convert::tr("ein Objekt wurde erwartet");
    case QJsonParseError::DeepNesting:
        return convert::tr("zu tief verschachtelt");
    case QJsonParseError::DocumentTooLarge:
        return convert::tr("das Dokument ist zu groß");
    case QJsonParseError::GarbageAtEnd:
        return convert::tr("nach dem Ende des Dokuments folgt weiterer Text");
    case QJsonParseError::NoError:
        break;
    }
    return convert::tr("unbekannter Fehler");
}

// Line and column (both from 1) of a byte offset, for a reader who opens the
// file in an editor.
QString positionText(const QByteArray &bytes, int offset)
{
    const int end = qBound(0, offset, bytes.size());
    int line = 1;
    int lineStart = 0;
    for (int i = 0; i < end; ++i) {
        if (bytes.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const int column = QString::fromUtf8(bytes.constData() + lineStart, end - lineStart).size() + 1;
    return convert::tr("Zeile %1, Spalte %2").arg(line).arg(column);
}

// Opens path for reading only if it is a regular file at the moment of
// opening: a FIFO swapped in after the check above must not block the
// thread, so the file is opened without blocking and checked by its handle.
bool openRegularFile(QFile *file, QString *reason)
{
    const QString path = file->fileName();
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *reason = convert::tr("Die Datei %1 kann nicht geöffnet werden (%2).")
                          .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *reason = convert::tr("%1 ist keine gewöhnliche Datei.").arg(path);
        return false;
    }
    if (file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
#else
    if (file->open(QIODevice::ReadOnly))
        return true;
#endif
    *reason = convert::tr("Die Datei %1 kann nicht geöffnet werden (%2).")
                      .arg(path, file->errorString());
    return false;
}

// One conversion as the pool's work item. The task deletes itself on its own
// thread once run() has returned: deleting it when its final signal arrives
// would race with the pool thread still inside that emission.
class ConversionRunnable : public QRunnable
{
public:
    ConversionRunnable(convert *task, const QString &sourcePath, const QString &pdfPath)
        : m_task(task)
        , m_sourcePath(sourcePath)
        , m_pdfPath(pdfPath)
    { }

    void run() override
    {
        ThreadHandOff::acquire(this);
        m_task->run(m_sourcePath, m_pdfPath);
        ThreadHandOff::release(m_task);
        m_task->deleteLater();
    }

private:
    convert *m_task;
    QString m_sourcePath;
    QString m_pdfPath;
};

} // namespace

convert::convert(QObject *parent)
    : QObject(parent)
{
    announceHandOffs();
}

convert::~convert()
{
    ThreadHandOff::acquire(this);
}

void convert::announceHandOffs()
{
    if (!ThreadHandOff::isWatched())
        return;
    // Connected first, so each runs before any receiver's connection.
    const auto release = [this] { ThreadHandOff::release(this); };
    connect(this, &convert::newPbarValue, this, release, Qt::DirectConnection);
    connect(this, &convert::finished, this, release, Qt::DirectConnection);
    connect(this, &convert::abortReason, this, release, Qt::DirectConnection);
    connect(this, &convert::aborted, this, release, Qt::DirectConnection);
}

QString convert::outputFileName(const QString &pdfPath)
{
    if (pdfPath.endsWith(QLatin1String(".pdf")))
        return pdfPath;
    QString name = pdfPath;
    return name.replace(QLatin1String(".json"), QLatin1String(".pdf"));
}

void convert::start(convert *task, const QString &sourcePath, const QString &pdfPath)
{
    auto *work = new ConversionRunnable(task, sourcePath, pdfPath);
    ThreadHandOff::release(work);
    QThreadPool::globalInstance()->start(work);
}

// By value: the task keeps its own copies while it runs on a pool thread.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void convert::run(QString sourcePath, QString pdfPath)
{
    QByteArray bytes;
    QString reason;
    if (!loadSource(sourcePath, &bytes, &reason)) {
        fail(reason);
        return;
    }
    jsonPath = sourcePath;

    // Before parsing: QJsonDocument keeps an arbitrary one of the values
    // and leaks the others.
    const DuplicateKey duplicate = findDuplicateKey(bytes);
    if (duplicate.found) {
        fail(tr("Die Datei %1 enthält den Schlüssel \"%2\" zweimal im selben Objekt (%3); "
                "welcher Wert gilt, wäre nicht eindeutig.")
                     .arg(sourcePath, duplicate.key, positionText(bytes, duplicate.offset)));
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        fail(tr("Die Datei %1 enthält kein gültiges JSON: %2 (%3).")
                     .arg(sourcePath, parseErrorText(error.error),
                          positionText(bytes, error.offset)));
        return;
    }
    bytes.clear();

    readConfiguration(document.object());
    if (!writeReport(std::move(pdfPath), &reason)) {
        fail(reason);
        return;
    }
    emit finished();
}

void convert::fail(const QString &reason)
{
    emit abortReason(reason);
    emit aborted();
}

bool convert::loadSource(const QString &path, QByteArray *bytes, QString *reason) const
{
    if (!path.endsWith(QLatin1String(".json"))) {
        *reason = tr("Die Datei %1 wird nicht gelesen: ihr Name endet nicht auf \".json\".")
                          .arg(path);
        return false;
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        *reason = tr("Die Datei %1 existiert nicht.").arg(path);
        return false;
    }
    // Checked before opening: a folder cannot be read, and opening a FIFO or
    // a device would block a pool thread or never end.
    if (!info.isFile()) {
        *reason = tr("%1 ist keine gewöhnliche Datei.").arg(path);
        return false;
    }
    if (info.size() > MaxSourceBytes) {
        *reason = tr("Die Datei %1 ist zu groß (%2 Bytes); erlaubt sind höchstens %3 MiB.")
                          .arg(path)
                          .arg(info.size())
                          .arg(MaxSourceBytes / BytesPerMiB);
        return false;
    }
    QFile file(path);
    if (!openRegularFile(&file, reason))
        return false;
    // Sized by the file as looked at, not by the cap: a buffer of the cap's
    // size would be mapped anew for every report. Should the file have grown
    // since, read on, but not past one byte beyond the cap.
    *bytes = file.read(info.size() + 1);
    if (bytes->size() > info.size())
        bytes->append(file.read(MaxSourceBytes + 1 - bytes->size()));
    file.close();
    if (bytes->size() > MaxSourceBytes) {
        *reason = tr("Die Datei %1 ist zu groß; erlaubt sind höchstens %2 MiB.")
                          .arg(path)
                          .arg(MaxSourceBytes / BytesPerMiB);
        return false;
    }
    if (bytes->isEmpty()) {
        *reason = tr("Die Datei %1 ist leer.").arg(path);
        return false;
    }
    return true;
}
