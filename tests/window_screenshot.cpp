// Draws docs/window.png: the window with a finished, a running, a failed and
// a waiting row, eight not yet started that bring the scroll bar, and the
// status line. With "site", docs/window-site.png: the site document just
// made of three rows, the status line saying so, the button's tooltip. Run
// under a display (xvfb-run) so that the tooltip is captured too:
//   xvfb-run -a build/tests/window_screenshot docs/window.png
//   xvfb-run -a build/tests/window_screenshot docs/window-site.png site
#include "app/mainwindow.h"
#include "engine/convert.h"
#include "widgets/cbutton.h"
#include "widgets/listwidgetcontainer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

namespace {

// A finished, a running, a failed and a waiting row, eight not yet started
// that bring the scroll bar, and the failure's tooltip.
void showRows(MainWindow &window, const QString &folder, const QString &running,
              const QString &waiting)
{
    window.addFile(folder + QStringLiteral("/halle3.json"));
    window.addFile(running);
    window.addFile(waiting);
    window.addFile(folder + QStringLiteral("/halle5.json")); // does not exist
    window.convertAll();
    for (int i = 7; i < 15; ++i)
        window.addFile(folder + QStringLiteral("/halle%1.json").arg(i));

    QTimer::singleShot(800, &window, [&window] {
        auto *list = window.findChild<QListWidget *>();
        auto *runningRow = qobject_cast<ListWidgetContainer *>(list->itemWidget(list->item(1)));
        runningRow->setPbarValue(9);
        auto *failedRow = qobject_cast<ListWidgetContainer *>(list->itemWidget(list->item(3)));
        auto *bar = failedRow->findChild<QProgressBar *>();
        const QPoint below = failedRow->mapToGlobal(QPoint(0, failedRow->height()));
        QToolTip::showText(QPoint(window.x() + 20, below.y()), bar->toolTip(), bar);
    });
}

// Three rows made into a site document, and the button's tooltip.
void showSiteDocument(MainWindow &window, const QString &folder, const QStringList &files)
{
    window.addFiles(files);
    window.setSiteTargetChooser(
            [folder](const QString &) { return folder + QStringLiteral("/Anlage 7.pdf"); });
    auto *button = window.findChild<cButton *>(QStringLiteral("btnSite"));
    button->click();
    QTimer::singleShot(1200, button, [button] {
        QToolTip::showText(button->mapToGlobal(QPoint(-2 * button->width(), button->height())),
                           button->toolTip(), button);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fputs("usage: window_screenshot OUT.png [site]\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    convert::initialise();

    const QString folder = QDir::tempPath() + QStringLiteral("/Kunde Nord/Anlage 7");
    QDir().mkpath(folder);
    const QString done = folder + QStringLiteral("/halle3.json");
    const QString running = folder + QStringLiteral("/halle4.json");
    const QString waiting = folder + QStringLiteral("/halle6.json");
    QFile::remove(done);
    QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"), done);
    QFile::copy(QStringLiteral(EXAMPLES_DIR "/minimal.json"), running);

    MainWindow window;
    QList<convert *> held;
    window.setTaskStarter([&](convert *task, const QString &source, const QString &target) {
        if (source == running || source == waiting)
            held.append(task); // stays "in progress" or "wartet" for the picture
        else
            convert::start(task, source, target);
    });
    window.move(0, 0);
    window.show();
    if (argc == 3) {
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/large.json"), waiting);
        showSiteDocument(window, folder, {done, running, waiting});
    } else {
        showRows(window, folder, running, waiting);
    }
    QTimer::singleShot(1600, &window, [&] {
        const QRect area = window.frameGeometry();
        QScreen *screen = QGuiApplication::primaryScreen();
        screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(out);
        QDir(QDir::tempPath() + QStringLiteral("/Kunde Nord")).removeRecursively();
        app.quit();
    });
    return app.exec();
}
