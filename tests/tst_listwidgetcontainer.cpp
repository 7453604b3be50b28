#include "widgets/cbutton.h"
#include "widgets/listwidgetcontainer.h"

#include "system/filenames.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

// One file row: what its path field shows, the "Speichern unter" rule, the
// signals of its buttons, and how its bar shows a conversion.
class tst_ListWidgetContainer : public QObject
{
    Q_OBJECT

private slots:
    void elision_data();
    void elision();
    void newName_data();
    void newName();
    void replaceAsked_data();
    void replaceAsked();
    void buttons_data();
    void buttons();
    void failureShown_data();
    void failureShown();
    void finishedShowsFull();
    void warningShown();
    void keyboard_data();
    void keyboard();
    void reportAccess_data();
    void reportAccess();
    void desktopVerdict_data();
    void desktopVerdict();
    void copiedNames_data();
    void copiedNames();
};

namespace {

const QString LongPath
        = QStringLiteral("/home/techniker/Projekte/Kunde Nord/Halle 3/Anlage 7/bericht.pdf");
constexpr int RowHeight = 60;

QLineEdit *pathField(ListWidgetContainer &row)
{
    return row.findChild<QLineEdit *>(QStringLiteral("LineEditPath"));
}

QProgressBar *bar(ListWidgetContainer &row)
{
    return row.findChild<QProgressBar *>(QStringLiteral("pBarKonvert"));
}

cButton *button(ListWidgetContainer &row, const QString &name)
{
    return row.findChild<cButton *>(name);
}

} // namespace

void tst_ListWidgetContainer::elision_data()
{
    QTest::addColumn<int>("firstWidth");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("start"); // of the text, when shortened
    QTest::addColumn<QString>("end");

    const QString ellipsis(QChar(0x2026));
    const QString name("/bericht.pdf");
    QTest::newRow("fits") << 600 << 1600 << true << LongPath << ellipsis << name;
    QTest::newRow("too long") << 1600 << 600 << false << LongPath << ellipsis << name;
    // A negative width: make the field that much wider than the whole path,
    // which leaves less than that for the text inside its frame.
    QTest::newRow("nearly fits") << 1600 << -3 << false << LongPath << ellipsis << name;
    // Only a name too long on its own is cut: its ".pdf", then its middle.
    QTest::newRow("name too long")
            << 1600 << 500 << false << "/a/Anlage_7_Pruefstand_Halle_3_Nord_Messreihe_2024.pdf"
            << "Anlage"
            << "_2024";
}

void tst_ListWidgetContainer::elision()
{
    QFETCH(int, firstWidth);
    QFETCH(int, width);
    QFETCH(bool, whole);
    QFETCH(QString, path);
    QFETCH(QString, start);
    QFETCH(QString, end);

    ListWidgetContainer row(nullptr, path);
    row.resize(firstWidth, RowHeight);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QTRY_VERIFY(!pathField(row)->text().isEmpty());

    // Every resize shortens the text again.
    QLineEdit *field = pathField(row);
    const int wanted = QFontMetrics(field->font()).horizontalAdvance(path) - width;
    int rowWidth = width > 0 ? width : wanted;
    row.resize(rowWidth, RowHeight);
    while (width < 0 && field->width() < wanted)
        row.resize(++rowWidth, RowHeight);
    if (whole) {
        QTRY_COMPARE(field->text(), path);
        QCOMPARE(field->toolTip(), QString());
    } else {
        QTRY_VERIFY(field->text() != path);
        QVERIFY2(field->text().startsWith(start) && field->text().endsWith(end),
                 qPrintable(field->text()));
        QVERIFY(QFontMetrics(field->font()).horizontalAdvance(field->text()) <= field->width());
        QCOMPARE(field->toolTip(), path);
    }
    // Shown from its first character, not scrolled to its end.
    field->repaint();
    QCOMPARE(field->cursorPositionAt(QPoint(1, field->height() / 2)), 0);
}

void tst_ListWidgetContainer::newName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target"); // empty: nothing changes

    QTest::newRow("cancelled") << QString() << QString();
    QTest::newRow("no suffix") << "D:/out/bericht"
                               << "D:/out/bericht.pdf";
    QTest::newRow("upper-case suffix") << "D:/out/bericht.PDF"
                                       << "D:/out/bericht.PDF";
    QTest::newRow("suffix given") << "D:/out/bericht.pdf"
                                  << "D:/out/bericht.pdf";
    QTest::newRow("dots") << "D:/out/t2/../t3/./bericht"
                          << "D:/out/t3/bericht.pdf";
}

void tst_ListWidgetContainer::newName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, target);

    const QString old = QStringLiteral("C:/in/a.pdf");
    ListWidgetContainer row(nullptr, old, QStringLiteral("C:/in/a.json"));
    row.resize(1600, RowHeight);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QString offered;
    row.setTargetChooser([&](const QString &current) {
        offered = current;
        return chosen;
    });
    QSignalSpy renamed(&row, &ListWidgetContainer::newName);

    button(row, QStringLiteral("btnNewName"))->click();

    QCOMPARE(offered, old); // the dialog opens at the current target
    QCOMPARE(row.sourcePath(), QStringLiteral("C:/in/a.json"));
    if (target.isEmpty()) {
        QCOMPARE(renamed.count(), 0);
        QCOMPARE(row.path(), old);
        return;
    }
    QCOMPARE(renamed.count(), 1);
    QCOMPARE(renamed.at(0).at(0).toString(), target);
    QCOMPARE(row.path(), target);
    QCOMPARE(pathField(row)->text(), target);
}

namespace {

// Acts on the next modal window of a class once it shows (from the loop it
// runs), unless owner goes first.
void whenModal(QObject *owner, const char *className, const std::function<void(QDialog *)> &act)
{
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, [poll, className, act] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (modal && modal->inherits(className)) {
            poll->stop();
            act(modal);
        }
    });
    poll->start(10);
}

} // namespace

void tst_ListWidgetContainer::replaceAsked_data()
{
    QTest::addColumn<QString>("typed"); // into the real dialog, where precious.pdf is
    QTest::addColumn<QString>("asked"); // the name the question names, if any
    QTest::addColumn<bool>("replace"); // the answer; "No" leads back to the dialog
    QTest::addColumn<QString>("target"); // empty: nothing changes

    // clang-format off
    QTest::newRow("suffix added, replaced") << "precious" << "precious.pdf" << true << "precious.pdf";
    QTest::newRow("suffix added, kept")     << "precious" << "precious.pdf" << false << QString();
    QTest::newRow("dots")          << "sub/../precious.pdf" << "precious.pdf" << true << "precious.pdf";
    QTest::newRow("not the final name") << "precious.pdf.v2" << QString() << true << "precious.pdf.v2.pdf";
    // clang-format on
}

void tst_ListWidgetContainer::replaceAsked()
{
    QFETCH(QString, typed);
    QFETCH(QString, asked);
    QFETCH(bool, replace);
    QFETCH(QString, target);

    QTemporaryDir dir;
    QFile precious(dir.filePath(QStringLiteral("precious.pdf")));
    QVERIFY(precious.open(QIODevice::WriteOnly));
    ListWidgetContainer row(nullptr, dir.filePath(QStringLiteral("a.pdf")));
    QStringList offered;
    QString question;
    QObject waiting;
    const auto offer = [&](QDialog *dialog) {
        offered << dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
    };
    whenModal(&waiting, "QFileDialog", [&](QDialog *dialog) {
        offer(dialog);
        whenModal(&waiting, "QMessageBox", [&](QDialog *box) {
            question = static_cast<QMessageBox *>(box)->text();
            whenModal(&waiting, "QFileDialog", [&](QDialog *again) {
                offer(again);
                again->reject();
            });
            const auto answer = replace ? QMessageBox::Yes : QMessageBox::No;
            static_cast<QMessageBox *>(box)->button(answer)->click();
        });
        auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        nameEdit->setText(typed);
        QTest::keyClick(nameEdit, Qt::Key_Return);
    });
    button(row, QStringLiteral("btnNewName"))->click();

    QCOMPARE(question.section(QLatin1Char(' '), 0, 0), asked);
    QCOMPARE(offered, QStringList({"a.pdf"}) + (replace ? QStringList() : QStringList {asked}));
    QCOMPARE(row.path(), dir.filePath(target.isEmpty() ? QStringLiteral("a.pdf") : target));
}

void tst_ListWidgetContainer::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("dragBy");
    QTest::addColumn<int>("deletes");
    QTest::addColumn<int>("converts");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("delete") << "btnDelete" << 0 << 1 << 0 << "Entfernen";
    QTest::newRow("convert") << "btnKonvertier" << 0 << 0 << 1 << "Konvertieren";
    QTest::newRow("delete dragged") << "btnDelete" << 20 << 0 << 0 << "Entfernen";
    QTest::newRow("convert dragged") << "btnKonvertier" << 20 << 0 << 0 << "Konvertieren";
    QTest::newRow("new name") << "btnNewName" << 20 << 0 << 0 << "Speichern unter \u2026";
}

void tst_ListWidgetContainer::buttons()
{
    QFETCH(QString, name);
    QFETCH(int, dragBy);
    QFETCH(int, deletes);
    QFETCH(int, converts);
    QFETCH(QString, toolTip);

    ListWidgetContainer row(nullptr, LongPath);
    row.resize(800, RowHeight);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QSignalSpy deleteMe(&row, &ListWidgetContainer::deleteMe);
    QSignalSpy konvertMe(&row, &ListWidgetContainer::konvertMe);

    cButton *target = button(row, name);
    QVERIFY(target);
    QCOMPARE(target->toolTip(), toolTip);
    QCOMPARE(target->width(), target->height()); // square at the row's height
    const QPoint press(5, target->height() / 2);
    const QPoint release = press + QPoint(dragBy, 0);
    QMouseEvent move(QEvent::MouseMove, press, target->mapToGlobal(press), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, release);

    QCOMPARE(deleteMe.count(), deletes);
    QCOMPARE(konvertMe.count(), converts);
}

void tst_ListWidgetContainer::failureShown_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("shownReason");

    QTest::newRow("reason given") << "Die Datei C:/in/a.json existiert nicht."
                                  << "Die Datei C:/in/a.json existiert nicht.";
    QTest::newRow("no reason") << QString() << "Die Konvertierung ist fehlgeschlagen.";
    QTest::newRow("placeholders in the reason") << "Die Datei C:/50%v/%p.json existiert nicht."
                                                << "Die Datei C:/50%v/%p.json existiert nicht.";
}

void tst_ListWidgetContainer::failureShown()
{
    QFETCH(QString, reason);
    QFETCH(QString, shownReason);

    ListWidgetContainer row(nullptr, LongPath);
    row.resize(2400, RowHeight); // room for the whole reason on the bar
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    row.setPbarRange(0, 17);
    row.markStarted();
    QVERIFY(!row.isAtRest());
    row.setPbarValue(9); // a report that could not be written fails late
    row.conversionFailed(reason);
    row.conversionFailed(); // the task's aborted() that follows its reason

    QProgressBar *progress = bar(row);
    QCOMPARE(row.conversion(), ListWidgetContainer::Conversion::Failed);
    QVERIFY(row.isAtRest());
    QCOMPARE(progress->toolTip(), shownReason);
    QString text = progress->text();
    text.remove(QChar(0x200B));
    QCOMPARE(text, QStringLiteral("Fehler: ") + shownReason);
    // Just inside its frame a failed bar is pale, a full one red.
    const auto fill
            = [progress] { return progress->grab().toImage().pixelColor(8, RowHeight / 2); };
    QCOMPARE(fill(), QColor(0xFD, 0xEC, 0xEC));

    // Started again, the bar counts again.
    row.markStarted();
    row.setPbarValue(17);
    QCOMPARE(progress->text(), QStringLiteral("100%"));
    QCOMPARE(progress->toolTip(), QString());
    QCOMPARE(fill(), QColor(0xE3, 0x06, 0x13));
}

void tst_ListWidgetContainer::finishedShowsFull()
{
    ListWidgetContainer row(nullptr, LongPath);
    QProgressBar *progress = bar(row);
    row.conversionFinished(); // nothing started: ignored
    QCOMPARE(progress->value(), 0);

    row.setPbarRange(0, 17);
    row.markStarted();
    row.setPbarValue(18); // outside the range: Qt leaves the bar alone
    QCOMPARE(progress->value(), 0);
    row.setPbarValue(16);
    row.conversionFinished();
    QCOMPARE(progress->text(), QStringLiteral("100%"));
    QVERIFY(!row.isAtRest());
    row.conversionFailed(QStringLiteral("spät")); // nothing under way any more
    QCOMPARE(progress->text(), QStringLiteral("100%"));
}

void tst_ListWidgetContainer::warningShown()
{
    const QString warning = QStringLiteral("Die Datei /in/a.json enthält kein Objekt "
                                           "\"configuration\": der Bericht zeigt nur Vorgabewerte");
    ListWidgetContainer row(nullptr, LongPath);
    row.resize(1200, RowHeight);
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    QProgressBar *progress = bar(row);
    const auto fill
            = [progress] { return progress->grab().toImage().pixelColor(8, RowHeight / 2); };
    row.conversionWarned(warning); // nothing under way: ignored
    row.setPbarRange(0, 17);
    row.markStarted();
    row.conversionWarned(warning);
    row.conversionFinished();

    // Written: full, but amber, neither the red of a plain report nor a failure.
    QCOMPARE(row.conversion(), ListWidgetContainer::Conversion::Finished);
    QCOMPARE(row.warning(), warning);
    QCOMPARE(progress->text(), QStringLiteral("Warnung"));
    QCOMPARE(progress->toolTip(), warning);
    QCOMPARE(fill(), QColor(0xF2, 0xB6, 0x00));
    QVERIFY(!progress->property("failed").toBool());

    // Converted again without a warning, it is a plain report.
    row.markStarted();
    row.conversionFinished();
    QCOMPARE(row.warning(), QString());
    QCOMPARE(progress->text(), QStringLiteral("100%"));
    QCOMPARE(progress->toolTip(), QString());
    QCOMPARE(fill(), QColor(0xE3, 0x06, 0x13));
}

Q_DECLARE_METATYPE(ListWidgetContainer::Part)

void tst_ListWidgetContainer::keyboard_data()
{
    using Part = ListWidgetContainer::Part;
    QTest::addColumn<Part>("part");
    QTest::addColumn<int>("key"); // pressed twice
    QTest::addColumn<int>("deletes");
    QTest::addColumn<int>("converts");

    QTest::newRow("Delete on the path") << Part::PathField << int(Qt::Key_Delete) << 2 << 0;
    QTest::newRow("Delete on a button") << Part::NewNameButton << int(Qt::Key_Delete) << 2 << 0;
    QTest::newRow("Return on convert") << Part::KonvertButton << int(Qt::Key_Return) << 0 << 1;
}

void tst_ListWidgetContainer::keyboard()
{
    QFETCH(ListWidgetContainer::Part, part);
    QFETCH(int, key);
    QFETCH(int, deletes);
    QFETCH(int, converts);

    // A button that let go of the focus would hand it to the next row.
    QWidget list;
    auto *row = new ListWidgetContainer(&list, LongPath);
    auto *next = new ListWidgetContainer(&list, LongPath);
    (new QVBoxLayout(&list))->addWidget(row);
    list.layout()->addWidget(next);
    list.show();
    list.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    connect(row, &ListWidgetContainer::konvertMe, row, &ListWidgetContainer::markStarted);
    QSignalSpy deleteMe(row, &ListWidgetContainer::deleteMe);
    QSignalSpy konvertMe(row, &ListWidgetContainer::konvertMe);
    next->focusPart(part);
    QSignalSpy focused(row, &ListWidgetContainer::partFocused);
    row->focusPart(part);
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTRY_VERIFY(!button(*row, QStringLiteral("btnKonvertier"))->isDown()); // Enter's click
    }
    QCOMPARE(konvertMe.count(), converts);
    QCOMPARE(deleteMe.count(), deletes);
    QCOMPARE(row->focusedPart(), part);
    QCOMPARE(focused.count(), 1);
    // Busy, it looks as a disabled button.
    button(*next, QStringLiteral("btnKonvertier"))->setEnabled(!converts);
    QCOMPARE(button(*row, QStringLiteral("btnKonvertier"))->grab().toImage(),
             button(*next, QStringLiteral("btnKonvertier"))->grab().toImage());
}

namespace {

// What the user does to get at a row's report.
enum class Access { DoubleClick, CopyKey, MenuOpen, MenuFolder, MenuCopy };

} // namespace

Q_DECLARE_METATYPE(Access)

void tst_ListWidgetContainer::reportAccess_data()
{
    QTest::addColumn<Access>("access");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("viewerStarts");
    QTest::addColumn<QString>("opened"); // file name of the URL handed on, if any
    QTest::addColumn<QString>("notice"); // start of the status line's text, if any

    QTest::newRow("double click, finished")
            << Access::DoubleClick << true << true << "bericht.pdf" << QString();
    QTest::newRow("double click, not converted")
            << Access::DoubleClick << false << true << QString() << QString();
    QTest::newRow("double click, no viewer")
            << Access::DoubleClick << true << false << "bericht.pdf"
            << "Der Bericht";
    QTest::newRow("menu, open report")
            << Access::MenuOpen << true << true << "bericht.pdf" << QString();
    QTest::newRow("menu, open folder") << Access::MenuFolder << true << false << "Kunde Nord"
                                       << "Der Ordner";
    QTest::newRow("menu, copy path") << Access::MenuCopy << false << true << QString() << QString();
    QTest::newRow("Ctrl+C") << Access::CopyKey << false << true << QString() << QString();
}

void tst_ListWidgetContainer::reportAccess()
{
    QFETCH(Access, access);
    QFETCH(bool, finished);
    QFETCH(bool, viewerStarts);
    QFETCH(QString, opened);
    QFETCH(QString, notice);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Kunde Nord")));
    const QString report = dir.filePath(QStringLiteral("Kunde Nord/bericht.pdf"));
    ListWidgetContainer row(nullptr, report);
    row.resize(400, RowHeight); // the field shows a shortened path
    row.show();
    QVERIFY(QTest::qWaitForWindowExposed(&row));
    if (finished) {
        QFile file(report);
        QVERIFY(file.open(QIODevice::WriteOnly));
        row.markStarted();
        row.conversionFinished();
    }
    QList<QUrl> urls;
    // The verdict comes later, as xdg-open's exit status does.
    row.setUrlOpener([&](const QUrl &url, const ListWidgetContainer::OpenDone &done) {
        urls.append(url);
        QTimer::singleShot(0, [done, viewerStarts] {
            done(viewerStarts ? ListWidgetContainer::OpenResult::Opened
                              : ListWidgetContainer::OpenResult::NoProgram);
        });
    });
    QSignalSpy notices(&row, &ListWidgetContainer::notice);
    QGuiApplication::clipboard()->clear();

    QLineEdit *field = pathField(row);
    if (access == Access::DoubleClick) {
        QTest::mouseDClick(field, Qt::LeftButton);
    } else if (access == Access::CopyKey) {
        field->setFocus();
        QTest::keySequence(field, QKeySequence::Copy);
    } else {
        const int entry = int(access) - int(Access::MenuOpen);
        QTimer::singleShot(100, &row, [entry] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->actions().at(entry)->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                field->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(field, &event);
    }

    QTest::qWait(0);
    QCOMPARE(urls.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(QFileInfo(urls.first().toLocalFile()).fileName(), opened);
    QCOMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QVERIFY(notices.first().first().toString().startsWith(notice));
    const bool copies = access == Access::CopyKey || access == Access::MenuCopy;
    QCOMPARE(QGuiApplication::clipboard()->text(), copies ? report : QString());
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(copied && copied->hasUrls(), copies);
}

void tst_ListWidgetContainer::desktopVerdict_data()
{
    QTest::addColumn<int>("status"); // xdg-open's
    QTest::addColumn<QString>("notice"); // the end of the status line's text, if any

    QTest::newRow("opened") << 0 << QString();
    QTest::newRow("no program") << 3 << "kein Programm dafür gefunden.";
    QTest::newRow("viewer failed") << 4 << "das Programm dafür meldet einen Fehler.";
}

void tst_ListWidgetContainer::desktopVerdict()
{
#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
    QSKIP("xdg-open is the desktop's helper on Linux only");
#endif
    QFETCH(int, status);
    QFETCH(QString, notice);

    // An xdg-open of our own first on the PATH: it starts no viewer.
    QTemporaryDir dir;
    QFile helper(dir.filePath(QStringLiteral("xdg-open")));
    QVERIFY(helper.open(QIODevice::WriteOnly)
            && helper.setPermissions(QFileDevice::ExeOwner | QFileDevice::WriteOwner
                                     | QFileDevice::ReadOwner));
    helper.write("#!/bin/sh\nprintf %s \"$1\" > \"$0.url\"\nexit " + QByteArray::number(status));
    helper.close();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });

    ListWidgetContainer row(nullptr, dir.filePath(QStringLiteral("bericht.pdf")));
    QSignalSpy notices(&row, &ListWidgetContainer::notice);
    row.openFolder();
    QFile url(helper.fileName() + QStringLiteral(".url"));
    QTRY_VERIFY(url.size() > 0);
    QVERIFY(url.open(QIODevice::ReadOnly));
    QCOMPARE(url.readAll(), QUrl::fromLocalFile(dir.path()).toEncoded());
    QTRY_COMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
    QTest::qWait(100); // and no more
    QVERIFY(notices.isEmpty() || notices.first().first().toString().endsWith(notice));
}

void tst_ListWidgetContainer::copiedNames_data()
{
    QTest::addColumn<QByteArray>("locale"); // what decodes file names
    QTest::addColumn<QByteArray>("name"); // the file's
    QTest::addColumn<QString>("text"); // in UTF-8 no text names a Latin-1 name
    QTest::addColumn<QByteArray>("url");

    // clang-format off
    QTest::newRow("UTF-8 name") << QByteArray("UTF-8") << QByteArray("Pr\xc3\xbc")
                                << "Prüf" << QByteArray("file:///Pr%C3%BCf");
    QTest::newRow("Latin-1 name, UTF-8") << QByteArray("UTF-8") << QByteArray("Pr\xfc")
                                         << "Pr\uFFFDf" << QByteArray("file:///Pr%FCf");
    QTest::newRow("Latin-1 name, Latin-1") << QByteArray("ISO-8859-1") << QByteArray("Pr\xfc")
                                           << "Prüf" << QByteArray("file:///Pr%FCf");
    // clang-format on
}

void tst_ListWidgetContainer::copiedNames()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, name);
    QFETCH(QString, text);
    QFETCH(QByteArray, url);

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(locale));
    FileNames::keepUndecodableNames();
    const auto restore = qScopeGuard([] { QTextCodec::setCodecForLocale(nullptr); });
#else
    if (QString::fromUtf8(name).toUtf8() != name)
        QSKIP("Qt 6 decodes file names as UTF-8 only");
#endif
    ListWidgetContainer row(nullptr, QFile::decodeName("/" + name + 'f'));
    row.copyPath();
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->text(), "/" + text);
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->urls().value(0).toEncoded(), url);
}

QTEST_MAIN(tst_ListWidgetContainer)
#include "tst_listwidgetcontainer.moc"
