#include "app/comparewithearlier.h"
#include "app/mainwindow.h"
#include "app/opendialog.h"
#include "app/qttranslations.h"
#include "engine/conversionqueue.h"
#include "engine/convert.h"
#include "pdfreport.h"
#include "system/filenames.h"
#include "system/reportfile.h"
#include "system/reportpaths.h"
#include "testfiles.h"
#include "testfolder.h"
#include "widgets/cbutton.h"
#include "widgets/listwidgetcontainer.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>
#include <QRunnable>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTextDocumentFragment>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// The main window as a user meets it: adding files by the dialog and by
// dropping, refusing duplicates, starting conversions, and quitting.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void header();
    void styleSheetImages_data();
    void styleSheetImages();
    void rowsFollowList_data();
    void rowsFollowList();
    void addFiles_data();
    void addFiles();
    void dragEnter_data();
    void dragEnter();
    void dropSeveral();
    void dropPaths_data();
    void dropPaths();
    void dropLatin1Name();
    void openDialogFormats();
    void dropWhileAdding();
    void newTarget_data();
    void newTarget();
    void removalFreesPath();
    void removeWithRestingPointer();
    void focusAfterRemoval_data();
    void focusAfterRemoval();
    void focusedRowShown();
    void startedOnce_data();
    void startedOnce();
    void convertAllStartsRowsAtRest();
    void convertAllSkipsForeignItems();
    void realConversions();
    void compareWithEarlier_data();
    void compareWithEarlier();
    void failedRowRetried();
    void statusFollowsRows();
    void failuresLeadToRows();
    void quitWithConversionsQueuedAndRunning();
    void quitWithHundredConversions();
    void removeRowsWhileConverting();
    void removedRowWritesNothing();
    void closeAsks();
    void siteDocument_data();
    void siteDocument();
    void closeWaitsForRunning();
    void qtTextsGerman();
};

namespace {

struct Start
{
    QPointer<convert> task;
    QString source;
    QString target;
};

// A window whose dialogs and pool are replaced by records.
struct Harness
{
    Harness(bool realTasks = false)
    {
        window.setInfoBox([this](const QString &title, const QString &text) {
            QCOMPARE(title, QStringLiteral("Fehler"));
            messages.append(text);
        });
        window.setFileChooser([this] { return chosen; });
        window.setTaskStarter(
                [this, realTasks](convert *task, const QString &source, const QString &target) {
                    starts.append({task, source, target});
                    if (realTasks)
                        convert::start(task, source, target);
                });
    }

    void open(const QStringList &paths)
    {
        chosen = paths;
        window.findChild<cButton *>(QStringLiteral("btnBrows"))->click();
    }

    QListWidget *list() const
    {
        return window.findChild<QListWidget *>(QStringLiteral("listWidget"));
    }

    QLabel *statusLine() const { return window.findChild<QLabel *>(QStringLiteral("statusText")); }

    // As the user reads it, whether plain or with a link.
    QString status() const
    {
        const QString text = statusLine()->text();
        return statusLine()->textFormat() == Qt::RichText
                       ? QTextDocumentFragment::fromHtml(text).toPlainText()
                       : text;
    }

    void drop(const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    }

    QList<ListWidgetContainer *> rows() const
    {
        QList<ListWidgetContainer *> result;
        for (int i = 0; i < list()->count(); ++i)
            result.append(qobject_cast<ListWidgetContainer *>(list()->itemWidget(list()->item(i))));
        return result;
    }

    QStringList targets() const
    {
        QStringList result;
        for (ListWidgetContainer *row : rows())
            result.append(row->path());
        return result;
    }

    MainWindow window;
    QStringList chosen;
    QStringList messages;
    QList<Start> starts;
};

QString duplicateText(const QString &target)
{
    return QStringLiteral("Die Datei ") + target
           + QStringLiteral(" befindest sich schon in der Liste");
}

// The one box for the duplicates of one drop or choice.
QStringList duplicatesBox(const QStringList &targets)
{
    if (targets.isEmpty())
        return {};
    if (targets.size() == 1)
        return {duplicateText(targets.first())};
    QStringList lines = targets.mid(0, 10);
    if (targets.size() > 10)
        lines.append(QStringLiteral("und %1 weitere").arg(targets.size() - 10));
    return {QStringLiteral("Diese Dateien befinden sich schon in der Liste:\n")
            + lines.join(QLatin1Char('\n'))};
}

QStringList inFolder(const QString &folder, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths.append(folder + QLatin1Char('/') + name);
    return paths;
}

void press(ListWidgetContainer *row, const char *name)
{
    row->findChild<cButton *>(QLatin1String(name))->click();
}

QProgressBar *bar(ListWidgetContainer *row)
{
    return row->findChild<QProgressBar *>(QStringLiteral("pBarKonvert"));
}

// A task ends as one that could not read its file.
void failTask(convert *task)
{
    emit task->abortReason(QStringLiteral("Die Datei fehlt."));
    emit task->aborted();
}

// Copies the shipped examples into folder; returns their paths.
QStringList copyExamples(const QString &folder)
{
    QStringList paths;
    for (const char *name : {"typical.json", "minimal.json", "large.json"}) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/") + QLatin1String(name), path);
        paths.append(path);
    }
    return paths;
}

// Queued after the tasks it is to watch: its deletion by the pool's clear()
// shows that the queue has been dropped.
class Sentinel : public QRunnable
{
public:
    explicit Sentinel(QSemaphore *dropped)
        : m_dropped(dropped)
    { }
    ~Sentinel() override { m_dropped->release(); }
    void run() override { }

private:
    QSemaphore *m_dropped;
};

// Runs the harness's tasks for real, the first one held inside run(), after
// reading and before writing: it signals reading and waits for release.
void holdFirstTask(Harness *h, QSemaphore *reading, QSemaphore *release, QObject *context)
{
    h->window.setTaskStarter([=](convert *task, const QString &source, const QString &target) {
        if (h->starts.isEmpty()) {
            QObject::connect(
                    task, &convert::newPbarValue, context,
                    [=](int value) {
                        if (value != 1)
                            return;
                        reading->release();
                        release->acquire();
                    },
                    Qt::DirectConnection);
        }
        h->starts.append({task, source, target});
        convert::start(task, source, target);
    });
}

// Where a row's conversion stands before the test acts on it.
enum class Before { Idle, Finished, Running };
// Which button starts a conversion.
enum class Press { RowButton, ConvertAll };
using Presses = QVector<Press>;

} // namespace

Q_DECLARE_METATYPE(Before)
Q_DECLARE_METATYPE(Presses)
Q_DECLARE_METATYPE(ListWidgetContainer::Part)

void tst_MainWindow::initTestCase()
{
    FileNames::keepUndecodableNames(); // as the program does
    useGermanFormats();
    convert::initialise();
    QApplication::setQuitOnLastWindowClosed(false); // closing must not end later tests' loops
}

void tst_MainWindow::header()
{
    Harness h;
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    QCOMPARE(h.window.size(), QSize(709, 580));
    QCOMPARE(h.window.windowTitle(), QStringLiteral("Belmorand [Beta]"));
    QVERIFY(h.window.acceptDrops());

    const QImage logoImage(QStringLiteral(":/img/quorvalisLogoMain.png"));
    QCOMPARE(logoImage.size(), QSize(1000, 241));
    auto *logo = h.window.findChild<cButton *>(QStringLiteral("btnLogo"));
    QVERIFY(logo->height() >= 60);
    QCOMPARE(logo->width(), int(logo->height() * 1000.0 / 241.0));
    int left = 0;
    for (const char *name : {"btnBrows", "btnSite", "btnKonvert"}) {
        auto *icon = h.window.findChild<cButton *>(QLatin1String(name));
        QCOMPARE(icon->width(), icon->height());
        QCOMPARE(icon->height(), logo->height());
        QVERIFY2(icon->x() > left, name); // in this order
        left = icon->x();
    }
    auto *site = h.window.findChild<cButton *>(QStringLiteral("btnSite"));
    QCOMPARE(site->toolTip(), QStringLiteral("Gesamtdokument erstellen \u2026"));
    QVERIFY(!site->isEnabled()); // nothing to put in it yet
    QCOMPARE(logo->focusPolicy(), Qt::NoFocus);
    QCOMPARE(h.window.findChild<cButton *>(QStringLiteral("btnBrows"))->toolTip(),
             QStringLiteral("Dateien hinzufügen"));
    QCOMPARE(h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->toolTip(),
             QStringLiteral("Alle konvertieren"));

    // The empty list says what to do with it.
    auto *hint = h.window.findChild<QLabel *>(QStringLiteral("listHint"));
    QCOMPARE(hint->text(),
             QStringLiteral("Konfigurationsdateien (.json) oder Ordner hierher ziehen"));
    QVERIFY(hint->isVisible());
    h.open({QStringLiteral("/in/a.json")});
    QVERIFY(!hint->isVisible());
    QVERIFY(site->isEnabled());
    press(h.rows().first(), "btnDelete");
    QVERIFY(hint->isVisible());
    QVERIFY(!site->isEnabled());

    // No narrower than a row that shows a file name of some 20 characters whole.
    h.open({QStringLiteral("/home/techniker/Projekte/Kunde Nord/anlage_07_halle3.json")});
    h.window.resize(402, 580);
    QTRY_COMPARE(h.window.width(), 560);
    auto *field = h.rows().first()->findChild<QLineEdit *>(QStringLiteral("LineEditPath"));
    QTRY_VERIFY2(field->text().endsWith(QLatin1String("anlage_07_halle3.pdf")),
                 qPrintable(field->text()));

    // The "Fehler" box stands over the window too.
    MainWindow plain;
    plain.addFile(QStringLiteral("/in/a.json"));
    QWidget *parent = nullptr;
    QTimer::singleShot(0, &plain, [&parent] {
        QWidget *box = QApplication::activeModalWidget();
        parent = box->parentWidget();
        box->close();
    });
    plain.addFile(QStringLiteral("/in/a.json"));
    QCOMPARE(parent, &plain);
}

void tst_MainWindow::styleSheetImages_data()
{
    QTest::addColumn<bool>("row");
    QTest::addColumn<int>("images");
    QTest::newRow("window") << false << 8; // the site button's three looks too
    QTest::newRow("row") << true << 8; // with the switched-off look of two buttons
}

void tst_MainWindow::styleSheetImages()
{
    QFETCH(bool, row);
    QFETCH(int, images);

    Harness h;
    h.open({QStringLiteral("/in/a.json")});
    // The rows' sheet is the list's, parsed once for all rows.
    const QString sheet = row ? h.list()->viewport()->styleSheet() : h.window.styleSheet();
    const QRegularExpression url(QStringLiteral("url\\((:/img/[^)]+)\\)"));
    int found = 0;
    for (auto it = url.globalMatch(sheet); it.hasNext(); ++found) {
        const QString resource = it.next().captured(1);
        const QImage image(resource);
        QVERIFY2(!image.isNull(), qPrintable(resource));
        if (!resource.contains(QLatin1String("Logo")))
            QCOMPARE(image.size(), QSize(142, 142));
    }
    QCOMPARE(found, images);
}

void tst_MainWindow::rowsFollowList_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("count"); // twelve rows need the vertical scroll bar
    QTest::newRow("wider") << QSize(1100, 700) << 2;
    QTest::newRow("narrower") << QSize(560, 400) << 2;
    QTest::newRow("twelve, default size") << QSize(709, 580) << 12;
    QTest::newRow("twelve, narrower") << QSize(560, 400) << 12;
}

void tst_MainWindow::rowsFollowList()
{
    QFETCH(QSize, size);
    QFETCH(int, count);
    Harness h;
    h.open({QStringLiteral("/in/a.json"),
            QStringLiteral("/home/techniker/Projekte/Kunde Nord/Halle 3/Anlage 7/b.json")});
    for (int i = 2; i < count; ++i)
        h.open({QStringLiteral("/in/%1.json").arg(i)});
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    h.window.resize(size);
    QTRY_COMPARE(h.window.size(), size);
    QTRY_COMPARE(h.list()->verticalScrollBar()->isVisible(), count > 2);
    QTRY_VERIFY(!h.list()->horizontalScrollBar()->isVisible());
    const QSize expected(h.list()->width() - 10, 60);
    for (int i = 0; i < h.list()->count() && count == 2; ++i)
        QCOMPARE(h.list()->item(i)->sizeHint(), expected);
    QWidget *inside = h.list()->viewport();
    for (ListWidgetContainer *row : h.rows()) {
        QTRY_COMPARE(row->height(), 60);
        auto *button = row->findChild<cButton *>(QStringLiteral("btnKonvertier"));
        QTRY_VERIFY(button->mapTo(inside, QPoint(button->width(), 0)).x() <= inside->width());
        // The text is shortened for the field's final width, not an earlier one.
        auto *field = row->findChild<QLineEdit *>(QStringLiteral("LineEditPath"));
        QTRY_VERIFY(QFontMetrics(field->font()).horizontalAdvance(field->text())
                    <= field->width() - 2);
        QVERIFY(field->text() == row->path() || field->toolTip() == row->path());
    }
}

void tst_MainWindow::addFiles_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("targets");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("status"); // files left out

    QTest::newRow("one file") << QStringList {"C:/in/a.json"} << QStringList {"C:/in/a.pdf"}
                              << QStringList {"C:/in/a.json"} << QStringList {} << QString();
    QTest::newRow("same file twice") << QStringList {"C:/in/a.json", "C:/in/b.json", "C:/in/a.json"}
                                     << QStringList {"C:/in/a.pdf", "C:/in/b.pdf"}
                                     << QStringList {"C:/in/a.json", "C:/in/b.json"}
                                     << QStringList {duplicateText("C:/in/a.pdf")} << QString();
    QTest::newRow("no configuration files")
            << QStringList {"C:/in/a.JSON", "C:/in/a.txt", "C:/in", "C:/in/a.json.bak", ""}
            << QStringList {} << QStringList {} << QStringList {}
            << "übergangen: a.JSON, a.txt, in, a.json.bak (keine .json-Datei)";
    // The dialog's filter ignores case; the rule for a configuration does not.
    QTest::newRow("picks left out")
            << QStringList {"/in/a.json", "/in/UPPER.JSON", "/in/notes.txt", "/in/b.json"}
            << QStringList {"/in/a.pdf", "/in/b.pdf"} << QStringList {"/in/a.json", "/in/b.json"}
            << QStringList {} << "übergangen: UPPER.JSON, notes.txt (keine .json-Datei)";
    QTest::newRow("many left out")
            << inFolder("/in", {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt", "7.txt",
                                "8.txt", "9.txt", "10.txt", "11.txt", "12.txt"})
            << QStringList {} << QStringList {} << QStringList {}
            << "übergangen: 1.txt, 2.txt, 3.txt, 4.txt, 5.txt, 6.txt, 7.txt, 8.txt, 9.txt, "
               "10.txt und 2 weitere (keine .json-Datei)";
    QTest::newRow(".json in a folder name")
            << QStringList {"C:/x.json/a.json"} << QStringList {"C:/x.json/a.pdf"}
            << QStringList {"C:/x.json/a.json"} << QStringList {} << QString();
    QTest::newRow(".pdf in a folder name")
            << QStringList {"C:/x.pdf/a.json"} << QStringList {"C:/x.pdf/a.pdf"}
            << QStringList {"C:/x.pdf/a.json"} << QStringList {} << QString();
}

void tst_MainWindow::addFiles()
{
    QFETCH(QStringList, paths);
    QFETCH(QStringList, targets);
    QFETCH(QStringList, sources);
    QFETCH(QStringList, messages);
    QFETCH(QString, status);

    Harness h;
    h.open(paths);
    QCOMPARE(h.targets(), targets);
    QStringList sourcesSeen;
    for (ListWidgetContainer *row : h.rows())
        sourcesSeen.append(row->sourcePath());
    QCOMPARE(sourcesSeen, sources);
    QCOMPARE(h.messages, messages);
    QCOMPARE(h.status(), status);

    // Conversions read the source the row came from.
    h.window.convertAll();
    QCOMPARE(h.starts.size(), sources.size());
    for (int i = 0; i < h.starts.size(); ++i) {
        QCOMPARE(h.starts.at(i).source, sources.at(i));
        QCOMPARE(h.starts.at(i).target, targets.at(i));
    }
}

void tst_MainWindow::dragEnter_data()
{
    QTest::addColumn<bool>("withUrls");
    QTest::newRow("files") << true;
    QTest::newRow("text only") << false;
}

void tst_MainWindow::dragEnter()
{
    QFETCH(bool, withUrls);
    Harness h;
    QMimeData mime;
    if (withUrls)
        mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/in/a.json"))});
    else
        mime.setText(QStringLiteral("/in/a.json"));
    QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QTest::ignoreMessage(QtDebugMsg, "DragEnterEvent");
    QCoreApplication::sendEvent(&h.window, &event);
    QCOMPARE(event.isAccepted(), withUrls);
}

void tst_MainWindow::dropSeveral()
{
    Harness h;
    h.open({QStringLiteral("/in/b.json")});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/in/a.json")),
                  QUrl::fromLocalFile(QStringLiteral("/in/notes.txt")),
                  QUrl::fromLocalFile(QStringLiteral("/in/b.json")),
                  QUrl(QStringLiteral("https://example.org/c.json")),
                  QUrl::fromLocalFile(QStringLiteral("/in/a.json"))});
    // Qt delivers a drop only to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QTest::ignoreMessage(QtDebugMsg, "DragEnterEvent");
    QCoreApplication::sendEvent(&h.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);

    QTest::ignoreMessage(QtDebugMsg, "Dropevent");
    QTest::ignoreMessage(QtDebugMsg, "Dropped file: \"/in/a.json\"");
    QTest::ignoreMessage(QtDebugMsg, "Dropped file: \"/in/notes.txt\"");
    QTest::ignoreMessage(QtDebugMsg, "Dropped file: \"/in/b.json\"");
    QTest::ignoreMessage(QtDebugMsg, "Dropped file: \"\"");
    QTest::ignoreMessage(QtDebugMsg, "Dropped file: \"/in/a.json\"");
    QCoreApplication::sendEvent(&h.window, &event);

    QCOMPARE(h.targets(), (QStringList {"/in/b.pdf", "/in/a.pdf"}));
    QCOMPARE(h.messages, QStringList()); // not while the drop is under way
    QTRY_COMPARE(h.messages, duplicatesBox({"/in/b.pdf", "/in/a.pdf"}));
}

void tst_MainWindow::dropPaths_data()
{
    QTest::addColumn<QStringList>("dropped"); // below the test's folder
    QTest::addColumn<QStringList>("added"); // targets, in order
    QTest::addColumn<QStringList>("refused");
    QTest::addColumn<QString>("status");

    const QString nothing = QStringLiteral(
            "Nichts hinzugefügt: keine Konfigurationsdatei (.json) in der Ablage.");
    QTest::newRow("through a linked folder")
            << QStringList {"link/Anlage 7/large.json"} << QStringList {}
            << QStringList {"link/Anlage 7/large.pdf"} << QString();
    QTest::newRow("with ..") << QStringList {"Kunde Nord/Anlage 7/../Anlage 7/large.json"}
                             << QStringList {}
                             << QStringList {"Kunde Nord/Anlage 7/../Anlage 7/large.pdf"}
                             << QString();
    QTest::newRow("folder") << QStringList {"Kunde Nord"}
                            << QStringList {"Kunde Nord/Anlage 7/b.pdf",
                                            "Kunde Nord/Anlage 7/sub/c.pdf", "Kunde Nord/a.pdf"}
                            << QStringList {"Kunde Nord/Anlage 7/large.pdf"} << QString();
    QTest::newRow("many duplicates")
            << QStringList {"viele", "viele"}
            << inFolder("viele", {"f00.pdf", "f01.pdf", "f02.pdf", "f03.pdf", "f04.pdf", "f05.pdf",
                                  "f06.pdf", "f07.pdf", "f08.pdf", "f09.pdf", "f10.pdf", "f11.pdf"})
            << inFolder("viele", {"f00.pdf", "f01.pdf", "f02.pdf", "f03.pdf", "f04.pdf", "f05.pdf",
                                  "f06.pdf", "f07.pdf", "f08.pdf", "f09.pdf", "f10.pdf", "f11.pdf"})
            << QString();
    QTest::newRow("empty folder") << QStringList {"leer"} << QStringList {} << QStringList {}
                                  << nothing;
    QTest::newRow("no configuration") << QStringList {"Kunde Nord/notizen.txt"} << QStringList {}
                                      << QStringList {} << nothing;
}

void tst_MainWindow::dropPaths()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, added);
    QFETCH(QStringList, refused);
    QFETCH(QString, status);

    TestFolder dir;
    const QDir root(dir.path());
    for (const char *folder : {"Kunde Nord/Anlage 7/sub", "leer", "viele", "anderswo"})
        QVERIFY(root.mkpath(QLatin1String(folder)));
    QStringList files {"Kunde Nord/Anlage 7/large.json", "Kunde Nord/Anlage 7/b.json",
                       "Kunde Nord/Anlage 7/sub/c.json", "Kunde Nord/a.json",
                       "Kunde Nord/notizen.txt",         "anderswo/d.json"};
    for (int i = 0; i < 12; ++i)
        files.append(QStringLiteral("viele/f%1.json").arg(i, 2, 10, QLatin1Char('0')));
    for (const QString &file : files)
        QVERIFY(!writeFile(root.filePath(file), "{}").isEmpty());
    QVERIFY(QFile::link(root.filePath(QStringLiteral("Kunde Nord")),
                        root.filePath(QStringLiteral("link"))));
    // Not followed when the folder is dropped.
    QVERIFY(QFile::link(root.filePath(QStringLiteral("anderswo")),
                        root.filePath(QStringLiteral("Kunde Nord/Anlage 7/zlink"))));

    Harness h;
    const QString first = root.filePath(QStringLiteral("Kunde Nord/Anlage 7/large.json"));
    h.open({first});
    QList<QUrl> urls;
    for (const QString &path : dropped)
        urls.append(QUrl::fromLocalFile(root.filePath(path)));
    QTest::ignoreMessage(QtDebugMsg, "DragEnterEvent");
    QTest::ignoreMessage(QtDebugMsg, "Dropevent");
    for (const QString &path : dropped)
        QTest::ignoreMessage(
                QtDebugMsg,
                qPrintable(QStringLiteral("Dropped file: \"%1\"").arg(root.filePath(path))));
    h.drop(urls);

    QCOMPARE(h.targets(),
             QStringList {ReportPaths::besideSource(first)} + inFolder(dir.path(), added));
    QCOMPARE(h.status(), status);
    QTRY_COMPARE(h.messages, duplicatesBox(inFolder(dir.path(), refused)));
}

void tst_MainWindow::dropLatin1Name()
{
#ifndef Q_OS_UNIX
    QSKIP("file names as bytes are a Unix matter");
#else
    TestFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    const QByteArray source = folder
                              + "Pr\xfc"
                                "fstand.json";
    const QByteArray report = folder
                              + "Pr\xfc"
                                "fstand.pdf";
    QVERIFY(QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"), dir.filePath("plain.json")));
    QVERIFY(::rename(QFile::encodeName(dir.filePath("plain.json")).constData(), source.constData())
            == 0);
    // The folder's own clean-up cannot name what is not UTF-8.
    const auto removeRaw = qScopeGuard([&] {
        ::unlink(source.constData());
        ::unlink(report.constData());
    });

    Harness h(true);
    h.window.show();
    QTest::ignoreMessage(QtDebugMsg, "DragEnterEvent");
    QTest::ignoreMessage(QtDebugMsg, "Dropevent");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Dropped file: ")));
    // As a file manager sends it: the name's bytes, percent-encoded.
    h.drop({QUrl::fromEncoded("file://" + source.toPercentEncoding("/"))});
    QCOMPARE(h.rows().size(), 1);
    ListWidgetContainer *row = h.rows().first();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCOMPARE(FileNames::forDisplay(row->path()), dir.filePath(QStringLiteral("Prüfstand.pdf")));
#else
    QVERIFY(FileNames::lostInDecoding(row->path()));
#endif
    press(row, "btnKonvertier");
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Finished);
    QVERIFY(ReportFile::isCompletePdf(QFile::decodeName(report)));
#else
    // Qt 6 decodes names as UTF-8 only: refused by name.
    QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Failed);
    QVERIFY2(bar(row)->toolTip().contains(QStringLiteral("kein gültiges UTF-8")),
             qPrintable(bar(row)->toolTip()));
#endif

    // The open dialog lists it as well (with Qt 5), under either filter.
    const std::unique_ptr<QFileDialog> dialog(makeOpenDialog(nullptr));
    dialog->setDirectory(dir.path());
    dialog->show();
    auto *files = dialog->findChild<QFileSystemModel *>();
    const auto listed = [&] {
        QAbstractItemModel *shown = dialog->proxyModel();
        QModelIndex listedFolder = files->index(dir.path());
        if (shown)
            listedFolder = dialog->proxyModel()->mapFromSource(listedFolder);
        else
            shown = files;
        QStringList names;
        for (int i = 0; i < shown->rowCount(listedFolder); ++i)
            names.append(shown->index(i, 0, listedFolder).data().toString());
        names.sort();
        return names;
    };
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTRY_COMPARE(listed(), QStringList {QStringLiteral("Prüfstand.json")});
    // Shown by its reading, picked by its bytes.
    auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    view->setCurrentIndex(
            dialog->proxyModel()->mapFromSource(files->index(QFile::decodeName(source))));
    QCOMPARE(dialog->selectedFiles(), QStringList {QFile::decodeName(source)});
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down); // "Alle Dateien (*)"
    QTRY_COMPARE(listed(),
                 (QStringList {QStringLiteral("Prüfstand.json"), QStringLiteral("Prüfstand.pdf")}));
#else
    Q_UNUSED(listed)
    QTRY_VERIFY(files->rowCount(files->index(dir.path())) == 0);
#endif
#endif
}

void tst_MainWindow::openDialogFormats()
{
    TestFolder dir;
    QVERIFY(!writeFile(dir.filePath(QStringLiteral("klein.json")), QByteArray(185, ' ')).isEmpty());
    QVERIFY(!writeFile(dir.filePath(QStringLiteral("gross.json")), QByteArray(3500, ' '))
                     .isEmpty());
    const std::unique_ptr<QFileDialog> dialog(makeOpenDialog(nullptr));
    dialog->setDirectory(dir.path());
    dialog->show();
    auto *files = dialog->findChild<QFileSystemModel *>();
    const auto shown = [&](const QString &name, int column) {
        const QModelIndex index
                = dialog->proxyModel()->mapFromSource(files->index(dir.filePath(name)));
        return index.sibling(index.row(), column).data().toString();
    };
    // German, whatever the system's locale (the tests run under LANG=C too).
    QTRY_COMPARE(shown(QStringLiteral("klein.json"), 1), QStringLiteral("185 Bytes"));
    QCOMPARE(shown(QStringLiteral("gross.json"), 1), QStringLiteral("3,42 KiB"));
    const QDateTime modified = QFileInfo(dir.filePath(QStringLiteral("klein.json"))).lastModified();
    QCOMPARE(shown(QStringLiteral("klein.json"), 3),
             QLocale(QLocale::German, QLocale::Germany).toString(modified, QLocale::ShortFormat));
}

void tst_MainWindow::dropWhileAdding()
{
    TestFolder dir;
    const QDir root(dir.path());
    QVERIFY(root.mkpath(QStringLiteral("viele")));
    for (int i = 0; i < 400; ++i)
        QVERIFY(!writeFile(
                         root.filePath(
                                 QStringLiteral("viele/f%1.json").arg(i, 3, 10, QLatin1Char('0'))),
                         "{}")
                         .isEmpty());
    QVERIFY(!writeFile(root.filePath(QStringLiteral("zuletzt.json")), "{}").isEmpty());

    Harness h;
    h.window.show();
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^(Drag|Drop)")));
    h.drop({QUrl::fromLocalFile(root.filePath(QStringLiteral("viele")))});
    // Rows come in slices; the window hears a second drop meanwhile.
    if (h.list()->count() < 400)
        QVERIFY2(h.status().startsWith(QStringLiteral("Füge hinzu \u2026 (")),
                 qPrintable(h.status()));
    h.drop({QUrl::fromLocalFile(root.filePath(QStringLiteral("zuletzt.json"))),
            QUrl::fromLocalFile(root.filePath(QStringLiteral("viele/f000.json")))});
    QTRY_COMPARE(h.list()->count(), 401);
    QCOMPARE(h.targets().last(), root.filePath(QStringLiteral("zuletzt.pdf")));
    QCOMPARE(h.targets().first(), root.filePath(QStringLiteral("viele/f000.pdf")));
    QTRY_COMPARE(h.messages,
                 QStringList {duplicateText(root.filePath(QStringLiteral("viele/f000.pdf")))});
    QCOMPARE(h.status(), QString());
}

void tst_MainWindow::newTarget_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target"); // of the first row afterwards
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("refusedLater"); // adding a.json, b.json, neu.json afterwards
    QTest::addColumn<Before>("before"); // the first row's conversion

    QTest::newRow("free name") << "/out/neu"
                               << "/out/neu.pdf" << QStringList {}
                               << QStringList {"/in/b.pdf", "/out/neu.pdf"} << Before::Idle;
    QTest::newRow("name of the other row")
            << "/in/b.pdf"
            << "/in/a.pdf" << QStringList {duplicateText("/in/b.pdf")}
            << QStringList {"/in/a.pdf", "/in/b.pdf"} << Before::Idle;
    QTest::newRow("other row's name by another way")
            << "/in/../in/b.pdf"
            << "/in/a.pdf" << QStringList {duplicateText("/in/b.pdf")}
            << QStringList {"/in/a.pdf", "/in/b.pdf"} << Before::Idle;
    QTest::newRow("own name again") << "/in/a.pdf"
                                    << "/in/a.pdf" << QStringList {}
                                    << QStringList {"/in/a.pdf", "/in/b.pdf"} << Before::Idle;
    QTest::newRow("finished row converts to it")
            << "/out/neu"
            << "/out/neu.pdf" << QStringList {} << QStringList {"/in/b.pdf", "/out/neu.pdf"}
            << Before::Finished;
    QTest::newRow("running row keeps its target")
            << "/out/neu"
            << "/in/a.pdf" << QStringList {} << QStringList {"/in/a.pdf", "/in/b.pdf"}
            << Before::Running;
}

void tst_MainWindow::newTarget()
{
    QFETCH(QString, chosen);
    QFETCH(QString, target);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, refusedLater);
    QFETCH(Before, before);

    Harness h;
    h.open({QStringLiteral("/in/a.json"), QStringLiteral("/in/b.json")});
    ListWidgetContainer *first = h.rows().first();
    if (before != Before::Idle)
        press(first, "btnKonvertier");
    if (before == Before::Finished)
        emit h.starts.first().task->finished();
    first->setTargetChooser([&](const QString &) { return chosen; });
    press(first, "btnNewName");

    QCOMPARE(first->path(), target);
    QCOMPARE(h.messages, messages);

    // The list knows the row's target: the new one is taken, the old one free.
    h.messages.clear();
    h.open({QStringLiteral("/in/a.json"), QStringLiteral("/in/b.json"),
            QStringLiteral("/out/neu.json")});
    QCOMPARE(h.messages, duplicatesBox(refusedLater));

    // The conversion still reads the file the row came from.
    h.window.convertSingle(first);
    QCOMPARE(h.starts.last().source, QStringLiteral("/in/a.json"));
    QCOMPARE(h.starts.last().target, target);
}

void tst_MainWindow::removalFreesPath()
{
    Harness h;
    h.open({QStringLiteral("/in/a.json")});
    QPointer<ListWidgetContainer> row = h.rows().first();
    press(row, "btnKonvertier");
    QCOMPARE(h.starts.size(), 1);
    press(row, "btnDelete");
    QCOMPARE(h.list()->count(), 0);
    QTRY_VERIFY(row.isNull());

    // The task of a removed row may still report; nobody listens any more.
    emit h.starts.first().task->newPbarValue(5);
    emit h.starts.first().task->finished();

    h.open({QStringLiteral("/in/a.json")});
    QCOMPARE(h.targets(), QStringList {QStringLiteral("/in/a.pdf")});
    QCOMPARE(h.messages, QStringList());
}

void tst_MainWindow::removeWithRestingPointer()
{
    Harness h;
    h.open({QStringLiteral("/in/a.json"), QStringLiteral("/in/b.json"),
            QStringLiteral("/in/c.json")});
    h.window.show();
    h.window.activateWindow(); // clicks give focus only in an active window
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    auto spotOf = [&](int i) {
        auto *x = h.rows().at(i)->findChild<cButton *>(QStringLiteral("btnDelete"));
        return x->mapTo(&h.window, x->rect().center());
    };
    QTRY_VERIFY(spotOf(1).y() > spotOf(0).y());
    const QPoint spot = spotOf(0);
    // The pointer crosses the second X on its way to the first and rests
    // there; each next row slides up under it and is clicked away.
    QTest::mouseMove(h.window.windowHandle(), spotOf(1));
    QTest::mouseMove(h.window.windowHandle(), spot);
    for (int left = 2; left > 0; --left) {
        QTest::mouseClick(h.window.windowHandle(), Qt::LeftButton, Qt::NoModifier, spot);
        QCOMPARE(h.list()->count(), left);
        QTRY_COMPARE(spotOf(0), spot);
        // The same button of the next row, not its path, all selected.
        QCOMPARE(QApplication::focusWidget(),
                 h.rows().first()->findChild<cButton *>(QStringLiteral("btnDelete")));
    }
}

void tst_MainWindow::focusAfterRemoval_data()
{
    using Part = ListWidgetContainer::Part;
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("removed");
    QTest::addColumn<Part>("part");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("focused"); // the row that has the part afterwards, -1 none

    QTest::newRow("Space on Entfernen") << 3 << 1 << Part::DeleteButton << int(Qt::Key_Space) << 1;
    QTest::newRow("Space on the last row")
            << 3 << 2 << Part::DeleteButton << int(Qt::Key_Space) << 1;
    QTest::newRow("Delete on a path") << 3 << 0 << Part::PathField << int(Qt::Key_Delete) << 0;
    QTest::newRow("Delete on convert") << 3 << 1 << Part::KonvertButton << int(Qt::Key_Delete) << 1;
    QTest::newRow("the only row") << 1 << 0 << Part::DeleteButton << int(Qt::Key_Space) << -1;
}

void tst_MainWindow::focusAfterRemoval()
{
    QFETCH(int, rows);
    QFETCH(int, removed);
    QFETCH(ListWidgetContainer::Part, part);
    QFETCH(int, key);
    QFETCH(int, focused);

    Harness h;
    for (int i = 0; i < rows; ++i)
        h.open({QStringLiteral("/in/%1.json").arg(i)});
    h.window.show();
    h.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    h.rows().at(removed)->focusPart(part);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(h.list()->count(), rows - 1);
    if (focused < 0) {
        QCOMPARE(QApplication::focusWidget(), nullptr);
        return;
    }
    QCOMPARE(h.rows().at(focused)->focusedPart(), part);
    // Not the path field with its whole text selected.
    QVERIFY(!h.rows().at(focused)->findChild<QLineEdit *>()->hasSelectedText());
}

void tst_MainWindow::focusedRowShown()
{
    Harness h;
    for (int i = 0; i < 20; ++i)
        h.open({QStringLiteral("/in/%1.json").arg(i)});
    h.window.show();
    h.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    const auto shown = [&](ListWidgetContainer *row) {
        return h.list()->viewport()->rect().contains(row->geometry());
    };
    ListWidgetContainer *last = h.rows().last();
    QTRY_VERIFY(!shown(last));
    // Tab from the row before it into its path field.
    h.rows().at(18)->focusPart(ListWidgetContainer::Part::KonvertButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(last->focusedPart(), ListWidgetContainer::Part::PathField);
    QTRY_VERIFY(shown(last));
}

void tst_MainWindow::startedOnce_data()
{
    QTest::addColumn<Presses>("presses");
    // clang-format off
    QTest::newRow("row button twice")             << Presses {Press::RowButton,  Press::RowButton};
    QTest::newRow("convert all twice")            << Presses {Press::ConvertAll, Press::ConvertAll};
    QTest::newRow("row button, then convert all") << Presses {Press::RowButton,  Press::ConvertAll};
    QTest::newRow("convert all, then row button") << Presses {Press::ConvertAll, Press::RowButton};
    // clang-format on
}

void tst_MainWindow::startedOnce()
{
    QFETCH(Presses, presses);
    Harness h; // the tasks never run: they wait, as in a busy pool
    h.open({QStringLiteral("/in/a.json")});
    ListWidgetContainer *row = h.rows().first();
    for (const Press which : qAsConst(presses)) {
        if (which == Press::RowButton)
            press(row, "btnKonvertier");
        else
            h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->click();
    }
    QCOMPARE(h.starts.size(), 1);
    QCOMPARE(bar(row)->maximum(), convert::ProgressSteps);
}

void tst_MainWindow::convertAllStartsRowsAtRest()
{
    Harness h;
    h.open({QStringLiteral("/in/idle.json"), QStringLiteral("/in/running.json"),
            QStringLiteral("/in/done.json"), QStringLiteral("/in/failed.json")});
    const QList<ListWidgetContainer *> rows = h.rows();
    for (int i = 1; i < rows.size(); ++i)
        press(rows.at(i), "btnKonvertier");
    emit h.starts.at(0).task->newPbarValue(4);
    emit h.starts.at(1).task->finished();
    emit h.starts.at(2).task->abortReason(QStringLiteral("Die Datei fehlt."));
    emit h.starts.at(2).task->aborted();
    QCOMPARE(bar(rows.at(1))->value(), 4);
    QCOMPARE(bar(rows.at(2))->text(), QStringLiteral("100%"));
    QCOMPARE(bar(rows.at(3))->toolTip(), QStringLiteral("Die Datei fehlt."));

    h.starts.clear();
    h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->click();
    QStringList started;
    for (const Start &start : qAsConst(h.starts))
        started.append(start.source);
    QCOMPARE(started, (QStringList {"/in/idle.json", "/in/failed.json"}));
}

void tst_MainWindow::convertAllSkipsForeignItems()
{
    Harness h;
    h.open({QStringLiteral("/in/a.json")});
    new QListWidgetItem(QStringLiteral("fremd"), h.list());
    h.open({QStringLiteral("/in/b.json")});
    QTest::ignoreMessage(QtDebugMsg, "ObjectCast ListWidgetContainer fehlgeschlagen");
    h.window.convertAll();
    QCOMPARE(h.starts.size(), 2);
}

void tst_MainWindow::realConversions()
{
    TestFolder dir;
    QVERIFY(dir.isValid());
    const QStringList sources = copyExamples(dir.path());
    Harness h(true);
    h.window.show();
    h.open(sources);
    h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->click();

    for (ListWidgetContainer *row : h.rows()) {
        QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Finished);
        QCOMPARE(bar(row)->text(), QStringLiteral("100%"));
        QVERIFY2(ReportFile::isCompletePdf(row->path()), qPrintable(row->path()));
    }
    QCOMPARE(filesIn(dir.path()), (QStringList {"large.json", "large.pdf", "minimal.json",
                                                "minimal.pdf", "typical.json", "typical.pdf"}));
    // Every task object is gone once it has run.
    for (const Start &start : qAsConst(h.starts))
        QTRY_VERIFY(start.task.isNull());
}

void tst_MainWindow::compareWithEarlier_data()
{
    QTest::addColumn<QByteArray>("earlier"); // empty: none chosen
    QTest::addColumn<QString>("status"); // how it begins

    QByteArray typical = readFile(QStringLiteral(EXAMPLES_DIR "/typical.json"));
    QTest::newRow("changed") << typical.replace("\"altitude\": 310", "\"altitude\": 300")
                             << "Änderungsprotokoll geschrieben: typical-aenderungen.pdf (1 "
                                "Änderung)";
    QTest::newRow("broken") << QByteArray("{") << "Die Datei ";
    QTest::newRow("cancelled") << QByteArray() << QString();
}

// From the path's menu through the seams: the chooser asked for the earlier
// state, the work handed to a starter (never run on the window's thread),
// the outcome in the status line.
void tst_MainWindow::compareWithEarlier()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QString, status);
    TestFolder dir;
    const QString source = copyExamples(dir.path()).first();
    const QString before = dir.filePath(QStringLiteral("früher.json"));
    if (!earlier.isEmpty())
        writeFile(before, earlier);
    Harness h;
    h.window.show();
    h.open({source});
    auto *compare = h.window.findChild<CompareWithEarlier *>();
    QStringList asked;
    compare->setEarlierChooser([&](const QString &later) {
        asked << later;
        return earlier.isEmpty() ? QString() : before;
    });
    QList<std::function<void()>> works;
    compare->setWorkStarter([&](const std::function<void()> &work) { works << work; });

    auto *field = h.rows().first()->findChild<QLineEdit *>(QStringLiteral("LineEditPath"));
    QTimer::singleShot(100, &h.window, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menu->findChild<QAction *>(QStringLiteral("actionCompare"))->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            field->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(field, &event);

    QCOMPARE(asked, QStringList {source});
    QCOMPARE(works.size(), earlier.isEmpty() ? 0 : 1);
    QCOMPARE(h.status(), QString());
    if (works.isEmpty())
        return;
    const std::unique_ptr<QThread> thread(QThread::create(works.takeFirst()));
    thread->start();
    QVERIFY(thread->wait(60000));
    QTRY_VERIFY2(h.status().startsWith(status) && !status.isEmpty(), qPrintable(h.status()));
    const QString report = dir.filePath(QStringLiteral("typical-aenderungen.pdf"));
    QCOMPARE(ReportFile::isCompletePdf(report), earlier != "{");
}

void tst_MainWindow::failedRowRetried()
{
    TestFolder dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("spaeter.json"));
    Harness h(true);
    h.window.show();
    h.open({source});
    ListWidgetContainer *row = h.rows().first();
    press(row, "btnKonvertier");
    QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Failed);
    QVERIFY2(bar(row)->toolTip().contains(source), qPrintable(bar(row)->toolTip()));
    QTRY_COMPARE(bar(row)->text(), QStringLiteral("Fehler")); // no room for the reason
    QVERIFY(bar(row)->property("failed").toBool()); // the style sheet's failure look
    QCOMPARE(h.status(), QStringLiteral("0 konvertiert, 1 fehlgeschlagen"));

    QVERIFY(QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"), source));
    press(row, "btnKonvertier");
    QVERIFY(!bar(row)->property("failed").toBool());
    QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Finished);
    QCOMPARE(bar(row)->text(), QStringLiteral("100%"));
    QCOMPARE(bar(row)->toolTip(), QString());
    const QString report = dir.filePath(QStringLiteral("spaeter.pdf"));
    QVERIFY(ReportFile::isCompletePdf(report));
    QCOMPARE(h.status(), QStringLiteral("1 konvertiert, 0 fehlgeschlagen"));

    // "Convert all" leaves a finished row alone; its own button converts it again.
    QVERIFY(QFile::remove(report));
    h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->click();
    QCOMPARE(h.starts.size(), 2);
    press(row, "btnKonvertier");
    QCOMPARE(h.starts.size(), 3);
    QCOMPARE(bar(row)->text(), QStringLiteral("wartet"));
    QTRY_COMPARE(row->conversion(), ListWidgetContainer::Conversion::Finished);
    QVERIFY(ReportFile::isCompletePdf(report));
}

void tst_MainWindow::statusFollowsRows()
{
    Harness h;
    h.open({QStringLiteral("/in/a.json"), QStringLiteral("/in/b.json"),
            QStringLiteral("/in/c.json")});
    QCOMPARE(h.status(), QString());
    h.window.convertAll();
    QCOMPARE(h.status(), QStringLiteral("Konvertiere \u2026 (1 von 3)"));
    emit h.starts.at(0).task->finished();
    failTask(h.starts.at(1).task);
    emit h.starts.at(2).task->warned(QStringLiteral("nur Vorgabewerte"));
    emit h.starts.at(2).task->finished();
    QCOMPARE(h.status(), QStringLiteral("2 konvertiert (1 mit Warnung), 1 fehlgeschlagen"));
    QCOMPARE(bar(h.rows().at(2))->toolTip(), QStringLiteral("nur Vorgabewerte"));

    // Counted over the rows, not over the last conversions.
    press(h.rows().at(1), "btnKonvertier");
    failTask(h.starts.at(3).task);
    QCOMPARE(h.status(), QStringLiteral("2 konvertiert (1 mit Warnung), 1 fehlgeschlagen"));
    h.open({QStringLiteral("/in/d.json")});
    press(h.rows().at(2), "btnDelete");
    QCOMPARE(h.status(), QStringLiteral("1 konvertiert, 1 fehlgeschlagen, 1 offen"));
    press(h.rows().at(1), "btnDelete");
    QCOMPARE(h.status(), QStringLiteral("1 konvertiert, 0 fehlgeschlagen, 1 offen"));
    while (!h.rows().isEmpty())
        press(h.rows().first(), "btnDelete");
    QCOMPARE(h.status(), QString());
    QVERIFY(!h.window.findChild<QLabel *>(QStringLiteral("listHint"))->isHidden());

    // A drop that adds rows replaces what an earlier one said.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^(Drag|Drop)")));
    h.drop({QUrl::fromLocalFile(QStringLiteral("/in/notizen.txt"))});
    QCOMPARE(h.status(), QStringLiteral("Nichts hinzugefügt: keine Konfigurationsdatei (.json) in "
                                        "der Ablage."));
    h.drop({QUrl::fromLocalFile(QStringLiteral("/in/e.json"))});
    QCOMPARE(h.status(), QString());
}

void tst_MainWindow::failuresLeadToRows()
{
    Harness h;
    for (int i = 0; i < 20; ++i)
        h.open({QStringLiteral("/in/%1.json").arg(i, 2, 10, QLatin1Char('0'))});
    h.window.show();
    h.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    for (int i : {2, 17}) {
        press(h.rows().at(i), "btnKonvertier");
        failTask(h.starts.last().task);
    }
    QCOMPARE(h.status(), QStringLiteral("0 konvertiert, 2 fehlgeschlagen, 18 offen"));

    // Tab onto the failures and Enter: the next failed row, shown and focused.
    for (int expected : {2, 17, 2}) {
        h.statusLine()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(h.statusLine(), Qt::Key_Return);
        ListWidgetContainer *row = h.rows().at(expected);
        QCOMPARE(row->focusedPart(), ListWidgetContainer::Part::PathField);
        QTRY_VERIFY(h.list()->viewport()->rect().contains(row->geometry()));
    }
}

void tst_MainWindow::quitWithConversionsQueuedAndRunning()
{
    TestFolder dir;
    QVERIFY(dir.isValid());
    QStringList sources;
    for (int i = 0; i < 4; ++i) {
        const QString path = dir.filePath(QStringLiteral("anlage%1.json").arg(i));
        QVERIFY(QFile::copy(QStringLiteral(EXAMPLES_DIR "/large.json"), path));
        sources.append(path);
    }

    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);

    // The first task is held inside run(), between reading and writing, until
    // the window has dropped the queue; the others wait in the queue.
    QSemaphore reading;
    QSemaphore dropped;
    QObject context;
    auto h = std::make_unique<Harness>(true);
    holdFirstTask(h.get(), &reading, &dropped, &context);
    h->open(sources);
    h->window.convertAll();
    pool->start(new Sentinel(&dropped));
    reading.acquire();

    const QList<Start> starts = h->starts;
    h.reset(); // quitting

    pool->setMaxThreadCount(threads);
    for (const Start &start : starts)
        QVERIFY(start.task.isNull());
    // The running one was written completely, the waiting ones never began.
    QVERIFY(ReportFile::isCompletePdf(dir.filePath(QStringLiteral("anlage0.pdf"))));
    QStringList expected
            = {"anlage0.json", "anlage0.pdf", "anlage1.json", "anlage2.json", "anlage3.json"};
    QCOMPARE(filesIn(dir.path()), expected);
}

namespace {

QStringList copiesOf(const char *example, const TestFolder &dir, int count)
{
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString path
                = dir.filePath(QStringLiteral("anlage%1.json").arg(i, 3, 10, QLatin1Char('0')));
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/") + QLatin1String(example), path);
        sources.append(path);
    }
    return sources;
}

} // namespace

void tst_MainWindow::quitWithHundredConversions()
{
    TestFolder dir;
    // Large reports, so the queue is still long when the first one is done.
    const QStringList sources = copiesOf("large.json", dir, 100);
    auto h = std::make_unique<Harness>(true);
    h->open(sources);
    h->window.convertAll();
    // The pool gets a few at a time; the others wait in the window's queue.
    QCOMPARE(h->starts.size(), ConversionQueue::defaultInFlight());
    // Quit at once: the pool's threads are busy, the rest still waits.
    QVERIFY(QThreadPool::globalInstance()->activeThreadCount() > 0);

    const QList<Start> starts = h->starts;
    QElapsedTimer quitting;
    quitting.start();
    h.reset();
    qInfo("quitting with %d conversions started took %lld ms", int(starts.size()),
          quitting.elapsed());

    for (const Start &start : starts)
        QVERIFY(start.task.isNull());
    int written = 0;
    for (const QString &file : filesIn(dir.path())) {
        QVERIFY2(!file.endsWith(QLatin1String(".part")), qPrintable(file));
        if (file.endsWith(QLatin1String(".pdf"))) {
            ++written;
            QVERIFY2(ReportFile::isCompletePdf(dir.filePath(file)), qPrintable(file));
        }
    }
    QVERIFY2(written < 100, qPrintable(QString::number(written)));
}

void tst_MainWindow::removeRowsWhileConverting()
{
    TestFolder dir;
    const QStringList sources = copiesOf("typical.json", dir, 30);
    Harness h(true);
    h.open(sources);
    h.window.convertAll();
    // Remove every other row while the tasks run and wait.
    const QList<ListWidgetContainer *> rows = h.rows();
    for (int i = 0; i < rows.size(); i += 2)
        emit rows.at(i)->deleteMe();
    QCOMPARE(h.rows().size(), 15);

    for (ListWidgetContainer *row : h.rows()) {
        auto *bar = row->findChild<QProgressBar *>(QStringLiteral("pBarKonvert"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 60000);
    }
    QThreadPool::globalInstance()->waitForDone();
    // Every row left has its whole report; a removed row's task wrote none
    // unless it had done so before the removal, and left nothing half done.
    for (int i = 0; i < sources.size(); ++i) {
        const QString pdf = convert::outputFileName(sources.at(i));
        QVERIFY2(ReportFile::isCompletePdf(pdf) || (i % 2 == 0 && !QFile::exists(pdf)),
                 qPrintable(pdf));
    }
    for (const QString &file : filesIn(dir.path()))
        QVERIFY2(!file.endsWith(QLatin1String(".part")), qPrintable(file));
}

void tst_MainWindow::removedRowWritesNothing()
{
    TestFolder dir;
    const QStringList sources = copiesOf("typical.json", dir, 3);
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    const auto restore = qScopeGuard([&] { pool->setMaxThreadCount(threads); });

    // The first task is held inside run() until released; the others wait.
    QSemaphore reading;
    QSemaphore release;
    QObject context;
    Harness h(true);
    holdFirstTask(&h, &reading, &release, &context);
    h.open(sources);
    h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->click();
    reading.acquire();
    QCOMPARE(bar(h.rows().at(2))->text(), QStringLiteral("wartet"));
    QCOMPARE(h.status(), QStringLiteral("Konvertiere \u2026 (1 von 3)"));

    // The running row and a waiting one go; the same file comes back at once.
    press(h.rows().at(2), "btnDelete");
    press(h.rows().at(0), "btnDelete");
    h.open({sources.at(0)});
    QCOMPARE(h.messages, QStringList());
    ListWidgetContainer *again = h.rows().last();
    press(again, "btnKonvertier");
    QCOMPARE(h.starts.size(), 3); // not beside the removed one still running
    release.release();

    QTRY_COMPARE(again->conversion(), ListWidgetContainer::Conversion::Finished);
    QTRY_COMPARE(h.rows().first()->conversion(), ListWidgetContainer::Conversion::Finished);
    pool->waitForDone();
    QCOMPARE(h.starts.size(), 4);
    QCOMPARE(h.status(), QStringLiteral("2 konvertiert, 0 fehlgeschlagen"));
    QStringList expected {"anlage000.json", "anlage000.pdf", "anlage001.json", "anlage001.pdf",
                          "anlage002.json"};
    QCOMPARE(filesIn(dir.path()), expected);
}

void tst_MainWindow::closeAsks()
{
    Harness h;
    int asked = 0; // answered "Nein", then "Ja"
    h.window.setQuestionBox([&](const QString &, const QString &) { return ++asked == 2; });
    h.open({QStringLiteral("/in/a.json")});
    h.window.show();
    QVERIFY(h.window.close()); // nothing under way: no question
    h.window.show();
    press(h.rows().first(), "btnKonvertier"); // waits in the pool
    QVERIFY(!h.window.close());
    QVERIFY(h.window.isVisible());
    QVERIFY(!h.window.close()); // "Ja": it closes once the running one has ended
    QCOMPARE(asked, 2);
    emit h.starts.first().task->finished();
    QTRY_VERIFY(!h.window.isVisible());

    // The real question goes by itself once nothing is pending any more.
    Harness waiting;
    waiting.open({QStringLiteral("/in/a.json")});
    waiting.window.show();
    press(waiting.rows().first(), "btnKonvertier");
    bool shown = false;
    QTimer::singleShot(100, &waiting.window, [&] {
        // Over the window, not in the middle of the screen.
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        shown = box && box->parentWidget() == &waiting.window;
        emit waiting.starts.first().task->finished();
    });
    QVERIFY(waiting.window.close());
    QVERIFY(shown);
}

void tst_MainWindow::closeWaitsForRunning()
{
    Harness h;
    h.window.setQuestionBox([](const QString &, const QString &) { return true; });
    const int running = ConversionQueue::defaultInFlight(); // the pool's share; one more waits
    for (int i = 0; i <= running; ++i)
        h.open({QStringLiteral("/in/%1.json").arg(i)});
    h.window.show();
    h.window.convertAll();
    QCOMPARE(h.starts.size(), running);

    QVERIFY(!h.window.close());
    QVERIFY(h.window.isVisible());
    QVERIFY(!h.window.findChild<cButton *>(QStringLiteral("btnKonvert"))->isEnabled());
    QVERIFY(!h.rows().first()->isEnabled());
    QVERIFY(!h.window.acceptDrops());
    QCOMPARE(h.status(), QStringLiteral("Wird beendet \u2026 noch %1 Berichte").arg(running));
    QVERIFY(!h.window.close()); // asked once only
    for (int i = 1; i < running; ++i)
        emit h.starts.at(i).task->finished();
    QCOMPARE(h.status(), QStringLiteral("Wird beendet \u2026 noch 1 Bericht"));
    QVERIFY(h.window.isVisible());
    emit h.starts.first().task->finished();
    QTRY_VERIFY(!h.window.isVisible());
    QCOMPARE(h.starts.size(), running); // the waiting one never began
}

void tst_MainWindow::siteDocument_data()
{
    QTest::addColumn<bool>("closeMeanwhile"); // the work never runs; the window is closed
    QTest::newRow("written") << false;
    QTest::newRow("closed while it is made") << true;
}

// The header's site button makes one document of every row's file, in the
// list's order, on the pool; the rows stay as they are. Closed meanwhile,
// the window leaves no document and no temporary file.
void tst_MainWindow::siteDocument()
{
    QFETCH(bool, closeMeanwhile);
    TestFolder dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tmp")));
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const bool hadTmpdir = qEnvironmentVariableIsSet("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath(QStringLiteral("tmp"))));
    const auto restore
            = qScopeGuard([&] { hadTmpdir ? qputenv("TMPDIR", tmpdir) : qunsetenv("TMPDIR"); });

    Harness h(!closeMeanwhile);
    int asked = 0;
    h.window.setQuestionBox([&](const QString &, const QString &) { return ++asked > 0; });
    QString offered;
    QString target = dir.filePath(QStringLiteral("Anlage Nord.pdf"));
    h.window.setSiteTargetChooser([&](const QString &start) {
        offered = start;
        return target;
    });
    h.window.setWorkStarter([closeMeanwhile](const QVector<convert::Conversion> &conversions,
                                             const std::function<void()> &afterwards) {
        if (!closeMeanwhile)
            convert::startInOrder(conversions, afterwards);
    });
    h.open(copyExamples(dir.path()));
    h.window.show();
    auto *site = h.window.findChild<cButton *>(QStringLiteral("btnSite"));
    site->click();
    QVERIFY(!site->isEnabled());
    QCOMPARE(offered, dir.filePath(QStringLiteral("Gesamtdokument.pdf")));

    if (closeMeanwhile) {
        QCOMPARE(h.status(), QStringLiteral("Gesamtdokument \u2026 (0 von 3)"));
        QVERIFY(h.window.close());
        QCOMPARE(asked, 1);
        QVERIFY(!QFile::exists(target));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(
                h.status(),
                QStringLiteral("Gesamtdokument geschrieben: Anlage Nord.pdf (3 Geräte, 0 nicht "
                               "enthalten)"),
                60000);
        QVERIFY(site->isEnabled());
        const PdfReport document(target);
        QVERIFY(document.find(QStringLiteral("Anlage Nord")));
        QVERIFY(document.find(QStringLiteral("Termine")));
        for (ListWidgetContainer *row : h.rows())
            QCOMPARE(row->conversion(), ListWidgetContainer::Conversion::Idle);
        // The rows' own conversions go on beside a document just made.
        h.window.convertAll();
        site->click();
        for (ListWidgetContainer *row : h.rows())
            QTRY_COMPARE_WITH_TIMEOUT(row->conversion(), ListWidgetContainer::Conversion::Finished,
                                      60000);
    }
    QCOMPARE(filesIn(dir.filePath(QStringLiteral("tmp"))).filter(QStringLiteral("belmorand")),
             QStringList());
}

void tst_MainWindow::qtTextsGerman()
{
    QVERIFY(installGermanQtTexts(QCoreApplication::instance()));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Files of type:"),
             QStringLiteral("Dateien des Typs:"));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
