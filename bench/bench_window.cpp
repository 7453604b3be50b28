#include "app/mainwindow.h"
#include "engine/conversionqueue.h"
#include "system/filenames.h"

#include <QAbstractButton>
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

#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

// The window with many rows, offscreen: a folder of N configuration files
// (default 1000) dropped on it, then "convert all"; or, with "site", the
// site document of its rows made with the header's button.
//   build/bench/bench_window [N] [site]
// It prints how many rows a second came in until all stood, the longest
// time the event loop did not run meanwhile (the window was deaf), how long
// the drop event itself took, how long convertAll() took and the longest
// stall in the two seconds after it while the conversions run. With "site":
// the time from the button to "Gesamtdokument geschrieben", the CPU time it
// took (all threads), the longest stall meanwhile and the process's peak
// memory (VmHWM), to be set beside `belmorand-cli -c` on the same files.

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

// CPU time of the whole process so far, all threads, in ms.
qint64 cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// The process's peak resident memory, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression peak(QStringLiteral("VmHWM:\\s*(\\d+) kB"));
    const QRegularExpressionMatch found = peak.match(QString::fromLatin1(status.readAll()));
    return found.hasMatch() ? found.captured(1).toDouble() / 1024 : 0;
}

int makeSiteDocument(MainWindow *window, QLabel *status, StallProbe *probe, const QString &target)
{
    window->setSiteTargetChooser([target](const QString &) { return target; });
    probe->restart();
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMs();
    window->findChild<QAbstractButton *>(QStringLiteral("btnSite"))->click();
    const bool written = QTest::qWaitFor(
            [status] {
                return status->text().startsWith(QStringLiteral("Gesamtdokument geschrieben"));
            },
            AddingTimeoutMs);
    if (!written) {
        std::fprintf(stderr, "no site document: %s\n", qPrintable(status->text()));
        return 1;
    }
    std::printf("site document:                 %lld ms, CPU %lld ms, %lld bytes\n",
                clock.elapsed(), cpuMs() - cpuBefore, QFileInfo(target).size());
    std::printf("longest stall meanwhile:       %lld ms\n", probe->longestMs());
    std::printf("peak memory of the window:     %.1f MiB\n", peakMiB());
    std::printf("%s\n", qPrintable(status->text()));
    return 0;
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
    const bool site = argc > 2 && std::strcmp(argv[2], "site") == 0;

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

    if (site) {
        std::printf("rows:                          %d (in %lld ms)\n", count, addingMs);
        const int result = makeSiteDocument(
                window, status, &probe, QDir(dir.path()).filePath(QStringLiteral("anlage.pdf")));
        delete window;
        return result;
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
