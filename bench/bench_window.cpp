#include "app/mainwindow.h"
#include "engine/conversionqueue.h"
#include "system/filenames.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

// The window with many rows, offscreen: a folder of N configuration files
// (default 1000) dropped on it, then "convert all".
//   build/bench/bench_window [N]
// It prints how many rows a second came in until all stood, the longest
// time the event loop did not run meanwhile (the window was deaf), how long
// the drop event itself took, how long convertAll() took and the longest
// stall in the two seconds after it while the conversions run.

namespace {

// How often the probe wants to run; a gap beyond this is a stall.
constexpr int ProbeIntervalMs = 5;
constexpr int DefaultFileCount = 1000;
constexpr int ConvertingWatchMs = 2000;
constexpr int AddingTimeoutMs = 120000;

// Measures the longest gap between two turns of the event loop.
class StallProbe : public QObject
{
public:
    explicit StallProbe(QObject *parent)
        : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(ProbeIntervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }

    void restart()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }

    qint64 longestMs() const { return m_longest; }

private:
    void tick() { m_longest = qMax(m_longest, m_clock.restart() - ProbeIntervalMs); }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

void drop(QWidget *window, const QString &folder)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

bool makeConfigurations(const QString &folder, int count)
{
    const QString example = QStringLiteral(EXAMPLES_DIR "/typical.json");
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("anlage%1.json").arg(i, 5, 10, QLatin1Char('0'));
        if (!QFile::copy(example, QDir(folder).filePath(name)))
            return false;
    }
    return true;
}

// Qt's debug lines ("Dropped file: ...") would be timed too.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    FileNames::keepUndecodableNames();
    QApplication app(argc, argv);
    ConversionQueue::prepareProcess(ConversionQueue::LogoJpeg::FromPlugins);
    const int count = argc > 1 ? std::atoi(argv[1]) : DefaultFileCount;

    QTemporaryDir dir;
    if (!dir.isValid() || count <= 0 || !makeConfigurations(dir.path(), count)) {
        std::fprintf(stderr, "cannot make %d configurations\n", count);
        return 1;
    }

    auto *window = new MainWindow;
    window->setQuestionBox([](const QString &, const QString &) { return true; });
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return 1;
    auto *list = window->findChild<QListWidget *>(QStringLiteral("listWidget"));
    auto *status = window->findChild<QLabel *>(QStringLiteral("statusText"));

    StallProbe probe(&app);
    QElapsedTimer clock;
    qint64 dropEventMs = 0;
    probe.restart();
    QTimer::singleShot(ProbeIntervalMs, window, [&] {
        clock.start();
        drop(window, dir.path());
        dropEventMs = clock.elapsed();
    });
    // Until every row stands and the window says it is done adding.
    const bool added = QTest::qWaitFor(
            [&] {
                return list->count() == count
                       && !status->text().startsWith(QStringLiteral("Füge hinzu"));
            },
            AddingTimeoutMs);
    QCoreApplication::processEvents(); // the layout that follows the last row
    const qint64 addingMs = clock.elapsed();
    const qint64 addingStallMs = probe.longestMs();
    if (!added) {
        std::fprintf(stderr, "only %d of %d rows within %d ms\n", list->count(), count,
                     AddingTimeoutMs);
        return 1;
    }

    probe.restart();
    clock.start();
    window->convertAll();
    const qint64 convertAllMs = clock.elapsed();
    QTest::qWait(ConvertingWatchMs);
    const qint64 convertingStallMs = probe.longestMs();

    std::printf("rows:                          %d\n", count);
    std::printf("drop event:                    %lld ms\n", dropEventMs);
    std::printf("all rows in:                   %lld ms (%.0f rows/s)\n", addingMs,
                count * 1000.0 / qMax<qint64>(addingMs, 1));
    std::printf("longest stall while adding:    %lld ms\n", addingStallMs);
    std::printf("convertAll():                  %lld ms\n", convertAllMs);
    std::printf("longest stall, next %d ms:   %lld ms\n", ConvertingWatchMs, convertingStallMs);

    // Waiting conversions are dropped, running ones end first.
    delete window;
    return 0;
}
