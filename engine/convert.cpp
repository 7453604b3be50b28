#include "engine/convert.h"

#include "engine/jsoncheck.h"
#include "report/documenttitle.h"
#include "report/reportvolume.h"
#include "system/filenames.h"
#include "system/reportfile.h"
#include "system/reportpaths.h"
#include "system/systemerror.h"
#include "system/threadhandoff.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRunnable>
#include <QThreadPool>

#include <atomic>
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

std::atomic<bool> g_stopRequested {false};

#ifdef Q_OS_UNIX
// Why path cannot be read, from the error of stat() or open().
QString unreadableReason(const QString &path, int error)
{
    if (error == ENOENT) {
        struct stat link;
        if (::lstat(QFile::encodeName(path).constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return convert::tr("Die Datei %1 ist ein Verweis ins Leere: sein Ziel %2 existiert "
                               "nicht.")
                    .arg(path, QFileInfo(path).symLinkTarget());
        if (FileNames::lostInDecoding(path))
            return convert::tr("Die Datei %1 lässt sich nicht öffnen: ihr Name ist kein gültiges "
                               "UTF-8.")
                    .arg(path);
        return convert::tr("Die Datei %1 existiert nicht.").arg(path);
    }
    return convert::tr("Die Datei %1 kann nicht gelesen werden: %2.")
            .arg(path, systemErrorText(error));
}
#endif

// Opens path for reading only if it is a regular file at the moment of
// opening: a FIFO swapped in after the check above must not block the
// thread, so the file is opened without blocking and checked by its handle.
bool openRegularFile(QFile *file, QString *reason)
{
    const QString path = file->fileName();
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *reason = unreadableReason(path, errno);
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

// The size of the regular file at path, or false with the reason.
bool regularFileSize(const QString &path, qint64 *size, QString *reason)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        *reason = unreadableReason(path, errno);
        return false;
    }
    const bool regular = S_ISREG(info.st_mode);
    *size = info.st_size;
#else
    const QFileInfo info(path);
    if (!info.exists()) {
        *reason = convert::tr("Die Datei %1 existiert nicht.").arg(path);
        return false;
    }
    const bool regular = info.isFile();
    *size = info.size();
#endif
    if (!regular)
        *reason = convert::tr("%1 ist keine gewöhnliche Datei.").arg(path);
    return regular;
}

// Conversions as one work item of the pool, run in order. Each task deletes
// itself on its own thread once its run() has returned: deleting it when its
// final signal arrives would race with the pool thread still inside that
// emission.
class ConversionRunnable : public QRunnable
{
public:
    ConversionRunnable(const QVector<convert::Conversion> &conversions,
                       const std::function<void()> &afterwards)
        : m_conversions(conversions)
        , m_afterwards(afterwards)
    { }

    // Dropped by the pool unbegun: what follows the conversions still runs.
    ~ConversionRunnable() override
    {
        if (m_afterwards)
            m_afterwards();
    }

    void run() override
    {
        ThreadHandOff::acquire(this);
        for (const convert::Conversion &conversion : qAsConst(m_conversions)) {
            conversion.task->run(conversion.sourcePath, conversion.pdfPath);
            ThreadHandOff::release(conversion.task);
            conversion.task->deleteLater();
        }
        if (m_afterwards)
            std::exchange(m_afterwards, nullptr)();
    }

private:
    QVector<convert::Conversion> m_conversions;
    std::function<void()> m_afterwards;
};

} // namespace

convert::convert(QObject *parent)
    : QObject(parent)
    , y(m_page.cursor())
    , headingFont(m_page.headingFont())
    , bodyFont(m_page.bodyFont())
{
    announceHandOffs();
}

convert::~convert()
{
    ThreadHandOff::acquire(this);
}

void convert::initialise()
{
    PageWriter::initialise();
    ReportFile::initialise();
    ThreadHandOff::watchEventQueue();
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
    return ReportPaths::taskTarget(pdfPath);
}

void convert::requestStop()
{
    g_stopRequested.store(true, std::memory_order_relaxed);
}

bool convert::stopRequested() const
{
    return g_stopRequested.load(std::memory_order_relaxed) || m_cancelled.load();
}

bool convert::cancel()
{
    m_cancelled.store(true);
    return !m_begun.load();
}

void convert::start(convert *task, const QString &sourcePath, const QString &pdfPath)
{
    startInOrder({{task, sourcePath, pdfPath}}, {});
}

void convert::startInOrder(const QVector<Conversion> &conversions,
                           const std::function<void()> &afterwards)
{
    auto *work = new ConversionRunnable(conversions, afterwards);
    ThreadHandOff::release(work);
    QThreadPool::globalInstance()->start(work);
}

// By value: the task keeps its own copies while it runs on a pool thread.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void convert::run(QString sourcePath, QString pdfPath)
{
    m_begun.store(true);
    QString reason;
    if (stopRequested()) {
        fail(tr("Die Datei %1 wurde nicht konvertiert: die Umwandlung wurde abgebrochen.")
                     .arg(sourcePath));
        return;
    }
    QJsonObject root;
    if (!readSource(sourcePath, &reason, &root)) {
        fail(reason);
        return;
    }
    if (!writeReport(std::move(pdfPath), &reason)) {
        // The source first: in a batch's list of failures it says which
        // file the report belongs to.
        fail(tr("Die Datei %1 wurde nicht konvertiert. %2").arg(sourcePath, reason));
        return;
    }
    const QString warning = warningFor(root);
    if (!warning.isEmpty())
        emit warned(warning);
    emit finished();
}

bool convert::readSource(const QString &sourcePath, QString *reason, QJsonObject *root)
{
    QByteArray bytes;
    if (!loadSource(sourcePath, &bytes, reason))
        return false;
    jsonPath = sourcePath;

    if (!checkSyntax(&bytes, reason))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // Valid JSON that Qt's reader cannot hold (a number beyond a double).
        *reason = tr("Die Datei %1 lässt sich nicht verarbeiten: %2 (%3).")
                          .arg(sourcePath, parseErrorText(error.error),
                               positionText(bytes, error.offset));
        return false;
    }
    bytes.clear();

    const QJsonObject object = document.object();
    readConfiguration(object);
    if (root)
        *root = object;
    return true;
}

// Such a report is still written, as always, but its defaults read like
// real settings.
QString convert::warningFor(const QJsonObject &root) const
{
    if (root.value(QLatin1String("configuration")).isObject())
        return QString();
    return tr("Die Datei %1 enthält kein Objekt \"configuration\": der Bericht zeigt nur "
              "Vorgabewerte")
            .arg(jsonPath);
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): by value, like run()
bool convert::writeReport(QString pdfPath, QString *reason)
{
    if (m_volume)
        return drawIntoVolume(pdfPath, reason);
    const QString target = outputFileName(pdfPath);
    const QString title = DocumentTitle::fromNameOrFile(
            Config::textAt(general, Config::General::Name), jsonPath);
    if (!m_page.openFile(target, title, reason))
        return false;
    drawReport();
    return m_page.finishFile(
            reason, [this, &target](QString *why) { return checkNotStopped(target, why); });
}

// The volume holds the report once it is closed; a report cut short by a
// stop stays in it unnamed.
bool convert::drawIntoVolume(const QString &pdfPath, QString *reason)
{
    if (!m_volume->beginReport(reason))
        return false;
    m_page.drawOn(m_volume->painter(), m_volume->writer());
    drawReport();
    m_page.stopDrawing();
    const bool whole = checkNotStopped(outputFileName(pdfPath), reason);
    m_volume->endReport(whole ? pdfPath : QString(), m_page.pagesDrawn());
    return whole;
}

void convert::drawReport()
{
    drawTitleBlock();
    drawSections();
}

QVector<PrintedField> convert::printedFields()
{
    QVector<PrintedField> fields;
    m_fields.list(&fields);
    m_page.layOutOnly();
    drawReport();
    m_page.stopDrawing();
    m_fields.draw();
    return fields;
}

int convert::drawOn(QPainter *painter, QPdfWriter *writer, const QVector<bool> &marked)
{
    m_fields.draw(marked);
    m_page.drawOn(painter, writer);
    drawReport();
    m_page.stopDrawing();
    m_fields.draw();
    return m_page.pagesDrawn();
}

bool convert::checkNotStopped(const QString &target, QString *reason) const
{
    if (!stopRequested())
        return true;
    *reason = tr("Der Bericht %1 wurde nicht geschrieben: die Umwandlung wurde abgebrochen.")
                      .arg(target);
    return false;
}

void convert::drawTitleBlock()
{
    m_page.drawTitleBlock(Config::textAt(general, Config::General::Date), jsonPath);
    emit newPbarValue(TitleDrawn);
}

bool convert::checkSyntax(QByteArray *bytes, QString *reason) const
{
    JsonCheck check = readAsUtf8(bytes);
    if (check.verdict == JsonCheck::Valid)
        check = checkJson(*bytes);
    const QString where = positionText(*bytes, check.offset);
    switch (check.verdict) {
    case JsonCheck::Valid:
        return true;
    case JsonCheck::NotJson:
        *reason = tr("Die Datei %1 enthält kein gültiges JSON: %2 (%3).")
                          .arg(jsonPath, check.reason, where);
        break;
    case JsonCheck::ScalarRoot:
        *reason = tr("Die Datei %1 enthält kein JSON-Objekt, nur einen einzelnen Wert.")
                          .arg(jsonPath);
        break;
    case JsonCheck::DuplicateKey:
        *reason = tr("Die Datei %1 enthält den Schlüssel \"%2\" zweimal im selben Objekt (%3); "
                     "welcher Wert gilt, wäre nicht eindeutig.")
                          .arg(jsonPath, check.key, where);
        break;
    case JsonCheck::TooDeep:
        *reason = tr("Die Datei %1 ist zu tief verschachtelt: mehr als %2 Ebenen (%3).")
                          .arg(jsonPath)
                          .arg(MaxJsonDepth)
                          .arg(where);
        break;
    case JsonCheck::Unprocessable:
        *reason = tr("Die Datei %1 lässt sich nicht verarbeiten: %2 (%3).")
                          .arg(jsonPath, check.reason, where);
        break;
    case JsonCheck::OtherEncoding:
        *reason = tr("Die Datei %1 ist als %2 gespeichert, nicht als UTF-8; bitte als UTF-8 "
                     "speichern.")
                          .arg(jsonPath, check.reason);
        break;
    }
    return false;
}

void convert::fail(const QString &reason)
{
    emit abortReason(reason);
    emit aborted();
}

bool convert::loadSource(const QString &path, QByteArray *bytes, QString *reason) const
{
    if (!ReportPaths::isConfiguration(path)) {
        *reason = tr("Die Datei %1 wird nicht gelesen: ihr Name endet nicht auf \".json\".")
                          .arg(path);
        return false;
    }
    // Checked before opening: a folder cannot be read, and opening a FIFO or
    // a device would block a pool thread or never end.
    qint64 size = 0;
    if (!regularFileSize(path, &size, reason))
        return false;
    if (size > MaxSourceBytes) {
        *reason = tr("Die Datei %1 ist zu groß (%2 Bytes); erlaubt sind höchstens %3 MiB.")
                          .arg(path)
                          .arg(size)
                          .arg(MaxSourceBytes / BytesPerMiB);
        return false;
    }
    QFile file(path);
    if (!openRegularFile(&file, reason))
        return false;
    // Sized by the file as looked at, not by the cap: a buffer of the cap's
    // size would be mapped anew for every report. Should the file have grown
    // since, read on, but not past one byte beyond the cap.
    *bytes = file.read(size + 1);
    if (bytes->size() > size)
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
