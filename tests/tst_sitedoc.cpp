#include "conversionrun.h"
#include "engine/convert.h"
#include "pdfreport.h"
#include "report/reportlogo.h"
#include "sitedoc/combinedpdf.h"
#include "sitedoc/contentspages.h"
#include "sitedoc/sitereport.h"
#include "sitedoc/sitevolume.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QPdfWriter>
#include <QSignalSpy>
#include <QtTest>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

// Documents of many devices: the volumes the reports are drawn into, their
// joining behind the contents pages, and the site report that does both.
class tst_SiteDoc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void volume_data();
    void volume();
    void volumeResources_data();
    void volumeResources();
    void document_data();
    void document();
    void stoppedWhileJoining();
    void dates();
    void changes();
    void contentsLines_data();
    void contentsLines();

private:
    TestFolder m_dir;
};

namespace {

// A combined document as its reader's viewer sees it: the page, from 0,
// each bookmark and each link of the contents leads to.
struct Jumps
{
    QStringList bookmarks;
    QVector<int> bookmarkPages;
    QVector<int> linkPages;
};

Jumps jumpsIn(const QString &path)
{
    QPDF pdf;
    pdf.processFile(QFile::encodeName(path).constData());
    QHash<int, int> pageOf; // object number -> page
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    for (size_t i = 0; i < pages.size(); ++i)
        pageOf.insert(pages[i].getObjectHandle().getObjectID(), int(i));
    Jumps jumps;
    QPDFOutlineDocumentHelper outline(pdf);
    for (QPDFOutlineObjectHelper &item : outline.getTopLevelOutlines()) {
        jumps.bookmarks << QString::fromStdString(item.getTitle());
        jumps.bookmarkPages << pageOf.value(item.getDestPage().getObjectID(), -1);
    }
    for (const QPDFPageObjectHelper &page : pages) {
        for (QPDFAnnotationObjectHelper &link : QPDFPageObjectHelper(page).getAnnotations("/Link"))
            jumps.linkPages << pageOf.value(
                    link.getObjectHandle().getKey("/Dest").getArrayItem(0).getObjectID(), -1);
    }
    return jumps;
}

// Makes the site document of files at target; the signals it gave.
struct SiteRun
{
    QStringList inTemporaryFolder; // its entries while the volumes are full
    bool written = false;
    QStringList leftOut; // the sources
    int done = 0;
    QString failure;
};

SiteRun makeSiteReport(const QString &target, const QString &title, bool archival,
                       const QStringList &files)
{
    SiteReport site(target, title, archival);
    SiteRun run;
    QObject::connect(&site, &SiteReport::deviceLeftOut,
                     [&run](const QString &source) { run.leftOut.append(source); });
    QObject::connect(&site, &SiteReport::deviceDone, [&run] { ++run.done; });
    QObject::connect(&site, &SiteReport::joiningStarted, [&run] {
        run.inTemporaryFolder = QDir(QDir::tempPath())
                                        .entryList(QDir::AllEntries | QDir::Hidden
                                                   | QDir::NoDotAndDotDot | QDir::System);
    });
    QObject::connect(&site, &SiteReport::failed,
                     [&run](const QString &reason) { run.failure = reason; });
    QSignalSpy done(&site, &SiteReport::done);
    QString reason;
    if (!site.reserve(&reason)) {
        run.failure = reason;
        return run;
    }
    site.start(files);
    if (done.wait(120000))
        run.written = site.isWritten();
    return run;
}

} // namespace

void tst_SiteDoc::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
    // As the converter does: these reports carry the JPEG the build made.
    ReportLogo::useBuiltJpeg();
}

void tst_SiteDoc::volume_data()
{
    // Drawn into one volume in this order; "" is a report cut short by a
    // stop after two pages, which the volume holds unnamed.
    QTest::addColumn<QStringList>("examples");
    QTest::newRow("one") << QStringList {"typical.json"};
    QTest::newRow("three") << QStringList {"minimal.json", "large.json", "typical.json"};
    QTest::newRow("one cut short between")
            << QStringList {"large.json", QString(), "minimal.json", QString()};
}

// Each report lies in the volume where it says, with the pages and the
// text of its single report; one cut short shifts those after it.
void tst_SiteDoc::volume()
{
    QFETCH(QStringList, examples);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const auto volume = std::make_shared<SiteVolume>(QStringLiteral("anlage.pdf"), false);
    QVector<int> firstPages;
    int pages = 0;
    QString reason;
    for (int i = 0; i < examples.size(); ++i) {
        firstPages.append(pages);
        const QString name = m_dir.filePath(QStringLiteral("%1 %2.pdf").arg(tag).arg(i));
        if (examples.at(i).isEmpty()) {
            QVERIFY(volume->beginReport(&reason));
            volume->writer()->newPage();
            volume->endReport(QString(), 2);
            pages += 2;
            continue;
        }
        const QString source = QStringLiteral(EXAMPLES_DIR "/") + examples.at(i);
        QCOMPARE(runConversion(source, name).finished, 1);
        QCOMPARE(runConversion(source, name, volume).finished, 1);
        pages += PdfReport(name).pageCount();
    }
    volume->close();
    QByteArray bytes;
    QVERIFY2(volume->takeBytes(&bytes, &reason), qPrintable(reason));
    const QString path = m_dir.filePath(tag + QLatin1String(" volume.pdf"));
    writeFile(path, bytes);

    const PdfReport drawn(path);
    QCOMPARE(drawn.pageCount(), pages);
    for (int i = 0; i < examples.size(); ++i) {
        const QString name = m_dir.filePath(QStringLiteral("%1 %2.pdf").arg(tag).arg(i));
        const SiteVolume::Placement placed = volume->placementOf(name);
        if (examples.at(i).isEmpty()) {
            QCOMPARE(placed.firstPage, -1);
            continue;
        }
        const PdfReport single(name);
        QCOMPARE(placed.firstPage, firstPages.at(i));
        QCOMPARE(placed.pageCount, single.pageCount());
        QCOMPARE(drawn.pageTexts(placed.firstPage, placed.firstPage + placed.pageCount),
                 single.texts());
    }
}

void tst_SiteDoc::volumeResources_data()
{
    QTest::addColumn<QStringList>("fonts"); // each page's font /F1, one object per name
    QTest::addColumn<int>("dictionaries"); // of resources among the pages in the document

    QTest::newRow("alike") << QStringList {"Helvetica", "Helvetica"} << 1;
    QTest::newRow("clashing") << QStringList {"Helvetica", "Courier"} << 2;
    QTest::newRow("clashing after alike")
            << QStringList {"Helvetica", "Helvetica", "Courier", "Helvetica"} << 2;
}

// Pages of a volume that agree on their resources' names share one
// dictionary in the document; a page whose /F1 is another font keeps its own.
void tst_SiteDoc::volumeResources()
{
    QFETCH(QStringList, fonts);
    QFETCH(int, dictionaries);

    QPDF volume;
    volume.emptyPDF();
    std::map<std::string, QPDFObjectHandle> fontObjects;
    for (const QString &font : fonts) {
        const std::string name = font.toStdString();
        QPDFObjectHandle &object = fontObjects[name];
        if (!object.isInitialized())
            object = volume.makeIndirectObject(QPDFObjectHandle::parse(
                    "<< /Type /Font /Subtype /Type1 /BaseFont /" + name + " >>"));
        QPDFObjectHandle page = volume.makeIndirectObject(
                QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 595 842] >>"));
        QPDFObjectHandle resources = volume.makeIndirectObject(QPDFObjectHandle::parse("<< >>"));
        resources.replaceKey("/Font", QPDFObjectHandle::parse("<< >>"));
        resources.getKey("/Font").replaceKey("/F1", object);
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents",
                        volume.newStream("BT /F1 12 Tf 72 720 Td (" + name + ") Tj ET"));
        QPDFPageDocumentHelper(volume).addPage(page, false);
    }
    QPDFWriter bandWriter(volume);
    bandWriter.setOutputMemory();
    bandWriter.write();
    const std::shared_ptr<Buffer> band = bandWriter.getBufferSharedPointer();

    CombinedPdf pdf(QStringLiteral("anlage.pdf"));
    QString reason;
    QVERIFY2(pdf.addVolume(QByteArray(reinterpret_cast<const char *>(band->getBuffer()),
                                      int(band->getSize())),
                           &reason),
             qPrintable(reason));
    QVERIFY2(pdf.addReport(0, 0, int(fonts.size()), QStringLiteral("Gerät"), &reason),
             qPrintable(reason));
    ContentsDevice device;
    device.name = QStringLiteral("Gerät");
    device.pageCount = int(fonts.size());
    ContentsPages contents(QStringLiteral("Anlage"), {device}, {});
    SiteVolume front(QStringLiteral("anlage.pdf"), false);
    QVERIFY2(contents.draw(front, &reason), qPrintable(reason));
    front.close();
    QByteArray frontBytes;
    QVERIFY2(front.takeBytes(&frontBytes, &reason), qPrintable(reason));
    const QString target = m_dir.filePath(QStringLiteral("anlage.pdf"));
    QVERIFY2(pdf.write(frontBytes, contents, target, &reason), qPrintable(reason));

    QPDF combined;
    combined.processFile(QFile::encodeName(target).constData());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(combined).getAllPages();
    QCOMPARE(int(pages.size()), contents.frontPageCount() + int(fonts.size()));
    QSet<int> shared;
    for (int i = 0; i < fonts.size(); ++i) {
        QPDFObjectHandle resources = pages.at(size_t(contents.frontPageCount()) + size_t(i))
                                             .getObjectHandle()
                                             .getKey("/Resources");
        QCOMPARE(QString::fromStdString(
                         resources.getKey("/Font").getKey("/F1").getKey("/BaseFont").getName()),
                 QLatin1Char('/') + fonts.at(i));
        shared.insert(resources.getObjectID());
    }
    QCOMPARE(int(shared.size()), dictionaries);
}

void tst_SiteDoc::document_data()
{
    QTest::addColumn<QStringList>("examples"); // in this order
    QTest::addColumn<int>("copies"); // of each
    QTest::addColumn<bool>("withBad"); // and a file that is not JSON, first
    QTest::addColumn<bool>("archival");
    QTest::addColumn<int>("contentsPages");
    QTest::addColumn<int>("datesPages");

    QTest::newRow("examples and a bad file")
            << QStringList {"large.json", "minimal.json", "typical.json"} << 1 << true << false << 1
            << 1;
    QTest::newRow("forty devices, two pages of contents and of dates")
            << QStringList {"minimal.json"} << 40 << false << false << 2 << 2;
    QTest::newRow("PDF/A") << QStringList {"typical.json", "minimal.json"} << 1 << true << true << 1
                           << 1;
}

// Each device's pages hold its single report's text, in the order given,
// behind the contents; bookmarks and links lead to the first pages, every
// page's foot line counts right, and a bad file is left out and named.
void tst_SiteDoc::document()
{
    QFETCH(QStringList, examples);
    QFETCH(int, copies);
    QFETCH(bool, withBad);
    QFETCH(bool, archival);
    QFETCH(int, contentsPages);
    QFETCH(int, datesPages);

    const QDir dir(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(dir.mkpath(QStringLiteral("single")));
    QStringList files;
    if (withBad) {
        files.append(dir.filePath(QStringLiteral("0-kaputt.json")));
        writeFile(files.last(), "{\"configuration\": [}");
    }
    QStringList singles;
    for (int copy = 0; copy < copies; ++copy) {
        for (const QString &example : examples) {
            files.append(dir.filePath(QStringLiteral("%1-%2").arg(copy).arg(example)));
            QFile::copy(QStringLiteral(EXAMPLES_DIR "/") + example, files.last());
            singles.append(dir.filePath(QStringLiteral("single/%1.pdf").arg(files.size())));
            QCOMPARE(runConversion(files.last(), singles.last()).finished, 1);
        }
    }

    // Its volumes have no name another user could reach: the temporary
    // folder shows nothing of them.
    QVERIFY(dir.mkpath(QStringLiteral("tmp")));
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const bool hadTmpdir = qEnvironmentVariableIsSet("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath(QStringLiteral("tmp"))));
    const QString target = dir.filePath(QStringLiteral("anlage.pdf"));
    const SiteRun run = makeSiteReport(target, QStringLiteral("Anlage Nord"), archival, files);
    hadTmpdir ? qputenv("TMPDIR", tmpdir) : qunsetenv("TMPDIR");
    QVERIFY2(run.written, qPrintable(run.failure));
    QCOMPARE(run.inTemporaryFolder, QStringList());
    QCOMPARE(run.done, files.size());
    QCOMPARE(run.leftOut, withBad ? QStringList {files.first()} : QStringList());

    const PdfReport combined(target);
    const Jumps jumps = jumpsIn(target);
    // The dates come first, after the contents.
    QCOMPARE(jumps.bookmarks.size(), singles.size() + 1);
    QCOMPARE(jumps.bookmarks.first(), QStringLiteral("Termine"));
    QCOMPARE(jumps.bookmarkPages.first(), contentsPages);
    QCOMPARE(jumps.linkPages, jumps.bookmarkPages);
    int page = contentsPages + datesPages;
    for (int i = 0; i < singles.size(); ++i) {
        const PdfReport single(singles.at(i));
        QCOMPARE(jumps.bookmarkPages.at(i + 1), page);
        QVERIFY2(single.texts()
                         .join(QLatin1Char('\n'))
                         .contains(jumps.bookmarks.at(i + 1).section(QLatin1String(" ("), 0, 0)),
                 qPrintable(jumps.bookmarks.at(i + 1)));
        QCOMPARE(combined.pageTexts(page, page + single.pageCount()), single.texts());
        page += single.pageCount();
    }
    QCOMPARE(combined.pageCount(), page);
    for (int i = 0; i < page; ++i)
        QCOMPARE(combined.pageTexts(i, i + 1, true).join(QLatin1Char(' ')),
                 QStringLiteral("Seite %1 von %2").arg(i + 1).arg(page));
    const int omitted = combined.indexOf(QStringLiteral("Nicht enthalten"));
    QCOMPARE(omitted >= 0, withBad);
    if (withBad)
        QVERIFY(combined.find(QStringLiteral("0-kaputt.json"), omitted));

    // A run with nothing to put in it leaves the earlier document as it was.
    const QByteArray earlier = readFile(target);
    const SiteRun empty = makeSiteReport(target, QString(), archival,
                                         {dir.filePath(QStringLiteral("0-kaputt.json"))});
    QVERIFY(!empty.written);
    QVERIFY2(empty.failure.contains(target), qPrintable(empty.failure));
    QCOMPARE(readFile(target), earlier);
}

// A stop while the reports are joined ends the joining: no document, no
// word of one, and an earlier document stays as it was.
void tst_SiteDoc::stoppedWhileJoining()
{
    const QDir dir(m_dir.filePath(QStringLiteral("stopped")));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    const QString target = dir.filePath(QStringLiteral("anlage.pdf"));
    writeFile(target, "%PDF-1.4 stand-in, earlier");
    QStringList files;
    for (int i = 0; i < 40; ++i) {
        files.append(dir.filePath(QStringLiteral("%1.json").arg(i)));
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"), files.last());
    }
    SiteReport site(target, QString(), false);
    QSignalSpy done(&site, &SiteReport::done);
    QSignalSpy written(&site, &SiteReport::written);
    QSignalSpy joining(&site, &SiteReport::joiningStarted);
    connect(&site, &SiteReport::joiningStarted, &site, &SiteReport::stop);
    QString reason;
    QVERIFY2(site.reserve(&reason), qPrintable(reason));
    site.start(files);
    QTRY_COMPARE_WITH_TIMEOUT(joining.size(), 1, 60000);
    QTest::qWait(100); // what the joining would still tell
    QCOMPARE(done.size(), 0);
    QCOMPARE(written.size(), 0);
    QCOMPARE(readFile(target), QByteArray("%PDF-1.4 stand-in, earlier"));
}

// The dates after the contents: every device once, earliest first by the
// earlier of its two dates, against the day the document is made; one
// without dates last.
void tst_SiteDoc::dates()
{
    const QDir dir(m_dir.filePath(QStringLiteral("dates")));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    const QList<QPair<QByteArray, QByteArray>> devices {
            {"Ohne Termine", R"("service": {"nextService": 90})"},
            {"Bald", R"("service": {"lastService": "2026-12-01T08:00:00", "nextService": 20,
                 "lastCalibration": "2026-12-01", "nextCalibration": "bald"})"},
            {"Vorbei", R"("service": {"lastService": "2026-01-01T08:00:00", "nextService": 365,
                   "lastCalibration": "2026-11-01T08:00:00", "nextCalibration": 30})"}};
    QStringList files;
    for (const auto &device : devices) {
        files.append(
                writeFile(dir.filePath(QString::fromLatin1(device.first) + ".json"),
                          configuration("\"name\": \"" + device.first + "\", " + device.second)));
    }
    SiteReport site(dir.filePath(QStringLiteral("anlage.pdf")), QString(), false);
    site.setToday(QDate(2026, 12, 10));
    QSignalSpy done(&site, &SiteReport::done);
    QString reason;
    QVERIFY(site.reserve(&reason));
    site.start(files);
    QVERIFY(done.wait(60000));
    QVERIFY(site.isWritten());

    const PdfReport report(site.target());
    QStringList rows;
    int lastY = -1;
    for (const PdfLine &line : report.lines()) {
        if (line.page != 1)
            continue;
        if (line.centerY != lastY)
            rows.append(line.text);
        else
            rows.last() += QLatin1String(" | ") + line.text;
        lastY = line.centerY;
    }
    const QStringList expected {"Termine",
                                "Gerät | Nächster Service | Nächste Kalibrierung",
                                "Vorbei | 01.01.2027 | fällig | 01.12.2026 | überfällig",
                                "Bald | 21.12.2026 | fällig | \u2013",
                                "Ohne Termine | \u2013 | \u2013",
                                "Seite 2 | von 5"};
    QCOMPARE(rows, expected);
}

// A document of changes: each pair's change report, a new and a removed
// device with their reports, the contents saying which is which.
void tst_SiteDoc::changes()
{
    const QDir dir(m_dir.filePath(QStringLiteral("changes")));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    const QString before = writeFile(dir.filePath(QStringLiteral("vorher.json")),
                                     configuration(R"("name": "Halle 3", "altitude": 310)"));
    const QString after = writeFile(dir.filePath(QStringLiteral("nachher.json")),
                                    configuration(R"("name": "Halle 3", "altitude": 320)"));
    const QString added = writeFile(dir.filePath(QStringLiteral("neu.json")),
                                    configuration(R"("name": "Halle 4")"));
    const QString removed = writeFile(dir.filePath(QStringLiteral("weg.json")),
                                      configuration(R"("name": "Halle 5")"));
    SiteReport site(dir.filePath(QStringLiteral("aenderungen.pdf")), QString(), false);
    QSignalSpy done(&site, &SiteReport::done);
    QString reason;
    QVERIFY(site.reserve(&reason));
    site.startChanges(
            {{before, after}, {before, before}, {QString(), added}, {removed, QString()}});
    QVERIFY(done.wait(60000));
    QVERIFY(site.isWritten());
    QCOMPARE(site.convertedCount(), 4);

    const Jumps jumps = jumpsIn(site.target());
    QCOMPARE(jumps.bookmarks,
             (QStringList {"Termine", "Halle 3 (1 Änderung)", "Halle 3 (keine Änderungen)",
                           "Halle 4 (neu)", "Halle 5 (entfernt)"}));
    const PdfReport document(site.target());
    QCOMPARE(document.pageTexts(jumps.bookmarkPages.at(1), jumps.bookmarkPages.at(1) + 1).first(),
             QStringLiteral("Änderungsprotokoll"));
}

void tst_SiteDoc::contentsLines_data()
{
    QTest::addColumn<QByteArray>("name"); // as JSON text
    QTest::addColumn<QString>("line"); // how the contents line begins

    QTest::newRow("a line break") << QByteArray("Halle 3\\nZuluft") << "Halle 3 Zuluft";
    QTest::newRow("too long, at a character") << QByteArray(2000, 'W') << "WWWW";
}

// A device's name stands on its contents line as one line, shortened with
// "…" where it would reach the date.
void tst_SiteDoc::contentsLines()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, line);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString source = writeFile(
            m_dir.filePath(tag + QLatin1String(".json")),
            configuration("\"name\": \"" + name + "\", \"date\": \"01.02.2026 08:00\""));
    const QString target = m_dir.filePath(tag + QLatin1String(".pdf"));
    QVERIFY(makeSiteReport(target, QString(), false, {source}).written);

    const PdfReport contents(target);
    const PdfLine *found = contents.find(line);
    QVERIFY2(found, qPrintable(contents.texts().join(QLatin1Char('|'))));
    QCOMPARE(found->page, 0);
    QCOMPARE(found->text.endsWith(QChar(0x2026)), name.size() > 100);
}

QTEST_MAIN(tst_SiteDoc)
#include "tst_sitedoc.moc"
