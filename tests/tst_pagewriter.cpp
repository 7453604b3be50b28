#include "conversionrun.h"
#include "engine/convert.h"
#include "img/opaquelogo.h"
#include "pdfreport.h"
#include "report/layout.h"
#include "report/pagewriter.h"
#include "report/reportlogo.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

class tst_PageWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pageBreaks_data();
    void pageBreaks();
    void ownFile_data();
    void ownFile();
    void titleBlock();
    void longValue_data();
    void longValue();
    void reportFont_data();
    void reportFont();
    void pageIsA4();
    void logoJpeg_data();
    void logoJpeg();

private:
    TestFolder m_dir;
};

void tst_PageWriter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
    // As the converter does: these reports carry the JPEG the build made.
    ReportLogo::useBuiltJpeg();
}

void tst_PageWriter::pageBreaks_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("blockHeight"); // 0: nextLine()
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("pages");

    QTest::newRow("nextLine reaches the limit") << 12698 << 0 << 13028 << 1;
    QTest::newRow("nextLine passes the limit") << 12699 << 0 << int(Layout::TopY) << 2;
    QTest::newRow("nextLine in the page") << 2204 << 0 << 2534 << 1;
    QTest::newRow("output block fits") << 11047 << 1980 << 11047 << 1;
    QTest::newRow("output block breaks") << 11048 << 1980 << int(Layout::TopY) << 2;
    QTest::newRow("relais block fits") << 11377 << 1650 << 11377 << 1;
    QTest::newRow("relais block breaks") << 11378 << 1650 << int(Layout::TopY) << 2;
}

void tst_PageWriter::pageBreaks()
{
    QFETCH(int, start);
    QFETCH(int, blockHeight);
    QFETCH(int, expected);
    QFETCH(int, pages);

    const QString file
            = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QLatin1String(".pdf"));
    PageWriter page;
    QString reason;
    QVERIFY2(page.openFile(file, QString(), &reason), qPrintable(reason));
    page.cursor() = start;
    if (blockHeight == 0)
        page.nextLine();
    else
        page.ensureSpace(blockHeight);
    const int end = page.cursor();
    page.drawLeft(end, QStringLiteral("Markierung"));
    QCOMPARE(page.pagesDrawn(), pages);
    QVERIFY2(page.finishFile(&reason), qPrintable(reason));
    QCOMPARE(end, expected);

    const PdfReport report(file);
    QVERIFY(report.isValid());
    QCOMPARE(report.pageCount(), pages);
    const PdfLine *mark = report.find(QStringLiteral("Markierung"));
    QVERIFY(mark);
    QCOMPARE(mark->page, pages - 1);
    QVERIFY2(qAbs(mark->boxY() - expected) <= 30, qPrintable(QString::number(mark->boxY())));
    QVERIFY2(qAbs(mark->x - Layout::LeftX) <= 30, qPrintable(QString::number(mark->x)));
}

void tst_PageWriter::ownFile_data()
{
    QTest::addColumn<bool>("earlier"); // a file at the target before
    QTest::addColumn<bool>("keep"); // what the check before the commit says

    QTest::newRow("new") << false << true;
    QTest::newRow("replacing") << true << true;
    QTest::newRow("held back") << false << false;
    QTest::newRow("held back, earlier kept") << true << false;
}

// The file appears at its target complete or not at all, and nothing else
// is left in the folder.
void tst_PageWriter::ownFile()
{
    QFETCH(bool, earlier);
    QFETCH(bool, keep);

    const QDir folder(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    const QString target = folder.filePath(QStringLiteral("seiten.pdf"));
    const QByteArray before = standInReport("page writer");
    if (earlier)
        writeFile(target, before);

    PageWriter page;
    QString reason;
    QVERIFY2(page.openFile(target, QString(), &reason), qPrintable(reason));
    page.drawRow(QStringLiteral("Markierung"));
    const QString heldBack = QStringLiteral("zurückgehalten");
    const bool written = page.finishFile(&reason, [keep, &heldBack](QString *why) {
        *why = heldBack;
        return keep;
    });

    QCOMPARE(written, keep);
    QCOMPARE(filesIn(folder.path()), earlier || keep ? QStringList {"seiten.pdf"} : QStringList());
    if (keep)
        QVERIFY(PdfReport(target).find(QStringLiteral("Markierung")));
    else
        QCOMPARE(reason, heldBack);
    if (earlier && !keep)
        QCOMPARE(readFile(target), before);
}

void tst_PageWriter::titleBlock()
{
    // A short path, on one line (a long one wraps in its box).
    QTemporaryDir shortPath;
    const QString source
            = writeFile(shortPath.filePath(QStringLiteral("title.json")),
                        configuration(R"("date": "09.12.2026 10:15", "name": "Zuluft Werkstatt")"));
    const QString pdf = m_dir.filePath(QStringLiteral("title.pdf"));
    QCOMPARE(runConversion(source, pdf).finished, 1);

    const PdfReport report(pdf);
    QVERIFY(report.isValid());
    const PdfLine *title = report.find(QStringLiteral("Ordano Protokoll vom:"));
    const PdfLine *date = report.find(QStringLiteral("09.12.2026 10:15"));
    const PdfLine *path = report.find(source);
    QVERIFY(title && date && path);

    // The title's two lines are centred together on 982, the path line on 1432.
    const int titleX = Layout::RightEdge - 1000 * Layout::LogoScale;
    for (const PdfLine *line : {title, date, path}) {
        QCOMPARE(line->page, 0);
        QVERIFY2(qAbs(line->x - titleX) <= 30, qPrintable(line->text));
    }
    QVERIFY(title->centerY < 982 && date->centerY > 982);
    QVERIFY(qAbs((title->centerY + date->centerY) / 2 - 982) <= 30);
    QVERIFY2(qAbs(path->centerY - 1432) <= 30, qPrintable(QString::number(path->centerY)));

    // The logo fills its box (500, 500, 4000, 964) and stays left of the title.
    QVERIFY(report.inkIn(0, Layout::LeftX, Layout::TopY, 4000, 964) > 0.05);
    QCOMPARE(report.inkIn(0, Layout::LeftX + 4100, Layout::TopY, 800, 964), 0.0);
}

void tst_PageWriter::longValue_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("label");
    QTest::newRow("name, in its column") << QByteArray("name") << QStringLiteral("Name: ");
    QTest::newRow("date, in the title's wrapped lines")
            << QByteArray("date") << QStringLiteral("Ordano Protokoll vom:");
}

// A value of megabytes shows what a value of a few hundred characters
// shows: only that is laid out, and the report stays small.
void tst_PageWriter::longValue()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, label);
    QVector<double> ink;
    for (const int length : {1000, 4000000}) {
        const QString tag = QStringLiteral("%1 %2").arg(QString::fromLatin1(key)).arg(length);
        const QString source
                = writeFile(m_dir.filePath(tag + QLatin1String(".json")),
                            configuration('"' + key + "\": \"" + QByteArray(length, 'W') + '"'));
        const QString pdf = m_dir.filePath(tag + QLatin1String(".pdf"));
        QCOMPARE(runConversion(source, pdf).finished, 1);
        QVERIFY2(QFileInfo(pdf).size() < 200000,
                 qPrintable(QString::number(QFileInfo(pdf).size())));
        const PdfReport report(pdf);
        const PdfLine *line = report.find(label);
        QVERIFY(line);
        ink.append(report.inkIn(0, 0, line->boxY() - Layout::BoxHeight, Layout::RightEdge,
                                3 * Layout::BoxHeight));
    }
    QCOMPARE(ink.at(1), ink.at(0));
}

void tst_PageWriter::reportFont_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("otherScript");

    QTest::newRow("Latin") << QStringLiteral("Zuluft Büro Nord – 2½ m³ à 20 °C") << false;
    QTest::newRow("Cyrillic from the system") << QStringLiteral("Насос Север") << true;
    QTest::newRow("Greek from the system") << QStringLiteral("Αντλία Βορράς") << true;
}

// The bundled family draws what it has; another script comes from a font of
// the system. Every blank reads as a blank.
void tst_PageWriter::reportFont()
{
    QFETCH(QString, name);
    QFETCH(bool, otherScript);

    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString source = writeFile(m_dir.filePath(tag + QLatin1String(".json")),
                                     configuration("\"name\": \"" + name.toUtf8() + '"'));
    const QString pdf = m_dir.filePath(tag + QLatin1String(".pdf"));
    QCOMPARE(runConversion(source, pdf).finished, 1);

    const PdfReport report(pdf);
    QVERIFY(report.find(QLatin1String("Name: ") + name));
    const QStringList fonts = report.fontNames();
    QVERIFY2(fonts.contains(QLatin1String("BelmorandReportSans"))
                     && fonts.contains(QLatin1String("BelmorandReportSans-Bold")),
             qPrintable(fonts.join(QLatin1Char(' '))));
    QCOMPARE(fonts.size() > 2, otherScript);
    const QSet<uint> characters = report.mappedCharacters();
    QVERIFY(characters.contains(' '));
    QVERIFY(!characters.contains('\t'));
}

void tst_PageWriter::pageIsA4()
{
    QPdfWriter pdf(m_dir.filePath(QStringLiteral("a4.pdf")));
    PageWriter::configurePage(pdf);
    QCOMPARE(pdf.resolution(), 1200);
    QCOMPARE(pdf.pageLayout().pageSize().id(), QPageSize::A4);
    const QRect area = pdf.pageLayout().paintRectPixels(pdf.resolution());
    // The layout needs 9424 x 13278 units of printable area.
    QVERIFY2(area.width() >= Layout::RightEdge, qPrintable(QString::number(area.width())));
    QVERIFY2(area.height() >= Layout::BottomLimit + Layout::BoxHeight,
             qPrintable(QString::number(area.height())));
}

void tst_PageWriter::logoJpeg_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("quality");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("built"); // the build's JPEG, else Qt's plugin encodes it

    const QImage &logo = ReportLogo::image();
    QImage other(40, 30, QImage::Format_RGB32);
    other.fill(Qt::darkCyan);
    QImage copy = logo.copy();
    QTest::newRow("the logo, as the PDF writer asks")
            << logo << PdfJpegQuality << QString() << true;
    QTest::newRow("a copy of the logo") << copy << PdfJpegQuality << QString() << true;
    QTest::newRow("another quality") << logo << 50 << QString() << false;
    QTest::newRow("with a description") << logo << PdfJpegQuality << "Anlage" << false;
    QTest::newRow("another picture") << other << PdfJpegQuality << QString() << false;
    copy.setPixel(0, 0, qRgb(0, 0, 0));
    QTest::newRow("one pixel changed") << copy << PdfJpegQuality << QString() << false;
}

// Only the logo with the PDF writer's options is taken from the build; every
// other picture still reaches Qt's JPEG plugin, with the options it was given.
void tst_PageWriter::logoJpeg()
{
    QFETCH(QImage, image);
    QFETCH(int, quality);
    QFETCH(QString, description);
    QFETCH(bool, built);

    // The program's own writer answers, not Qt's plugin, which would also read.
    QVERIFY(QImageWriter::supportedImageFormats().contains("jpeg"));
    QVERIFY(!QImageReader::supportedImageFormats().contains("jpeg"));

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!description.isEmpty())
        writer.setText(QStringLiteral("Titel"), description);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));

    const QByteArray fromBuild
            = QResource(QStringLiteral(":/img/reportlogo.jpg")).uncompressedData();
    QCOMPARE(jpeg == fromBuild, built);
    QVERIFY(jpeg.startsWith("\xff\xd8") && jpeg.endsWith("\xff\xd9"));
    QVERIFY(jpeg.contains(description.toUtf8()));
}

QTEST_MAIN(tst_PageWriter)
#include "tst_pagewriter.moc"
