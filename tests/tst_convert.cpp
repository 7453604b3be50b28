#include "conversionrun.h"
#include "engine/convert.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QtTest>

// The conversion task as its callers see it: the signals of one run, and
// what is left on disk.
class tst_Convert : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signalSequence_data();
    void signalSequence();
    void outputFileName_data();
    void outputFileName();
    void earlierReportSurvivesFailure_data();
    void earlierReportSurvivesFailure();
    void successReplacesEarlierReport();

private:
    TestFolder m_dir;
};

namespace {

const QByteArray Minimal = configuration(R"("name": "Halle 3", "date": "09.12.2026 10:15")");

QList<int> steps(int last)
{
    QList<int> list;
    for (int i = 1; i <= last; ++i)
        list.append(i);
    return list;
}

} // namespace

void tst_Convert::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
}

void tst_Convert::signalSequence_data()
{
    QTest::addColumn<QString>("fileName"); // written below the test folder unless empty
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<int>("progress"); // the last progress value reached
    QTest::addColumn<bool>("finishes");
    QTest::addColumn<QString>("reason"); // part of the abort reason

    QTest::newRow("valid") << "valid.json" << Minimal << "valid.pdf" << int(convert::ProgressSteps)
                           << true << QString();
    QTest::newRow("empty object") << "object.json" << QByteArray("{}") << "object.pdf"
                                  << int(convert::ProgressSteps) << true << QString();
    QTest::newRow("root array is valid JSON") << "array.json" << QByteArray("[]") << "array.pdf"
                                              << int(convert::ProgressSteps) << true << QString();
    QTest::newRow("suffix in capitals")
            << "upper.JSON" << Minimal << "upper.pdf" << 0 << false << "upper.JSON";
    QTest::newRow("missing file") << QString() << QByteArray() << "missing.pdf" << 0 << false
                                  << "missing.json";
    QTest::newRow("empty file") << "empty.json" << QByteArray() << "empty.pdf" << 0 << false
                                << "leer";
    QTest::newRow("invalid JSON") << "broken.json"
                                  << QByteArray("{\n  \"configuration\": {\n    \"name\": }\n}")
                                  << "broken.pdf" << 0 << false << "Zeile 3, Spalte";
    QTest::newRow("bad UTF-8") << "latin1.json"
                               << QByteArray("{\"configuration\": {\"name\": \"K\xf6ln\"}}")
                               << "latin1.pdf" << 0 << false << "UTF-8";
    // Text Qt's own parser would take, and roots that hold no object.
    const QString notJson = QStringLiteral("kein gültiges JSON");
    const QList<QPair<const char *, QByteArray>> invalid = {
            {"number 2.", R"({"a": 2.})"},
            {"number .2e-3", R"({"a": .2e-3})"},
            {"number -2.", R"({"a": -2.})"},
            {"number 0.e1", R"({"a": 0.e1})"},
            {"raw tab in a string", "{\"a\": \"x\ty\"}"},
            {"raw newline in a string", "{\"a\": \"x\ny\"}"},
            {"escape \\x", R"({"a": "\x41"})"},
            {"escape \\0", R"({"a": "\0"})"},
            {"escape \\a", R"({"a": "\a"})"},
            {"bad UTF-8 after an escape", "{\"a\": \"\\\xe5\"}"},
            {"raw NUL after the object", QByteArray("{}\0{}", 5)},
    };
    for (const auto &row : invalid) {
        QTest::newRow(row.first) << "invalid.json" << row.second << "invalid.pdf" << 0 << false
                                 << notJson;
    }
    for (const char *scalar : {"5", "\"Halle 3\"", "true", "null"}) {
        QTest::addRow("root %s", scalar) << "scalar.json" << QByteArray(scalar) << "scalar.pdf" << 0
                                         << false << "kein JSON-Objekt";
    }
    QTest::newRow("byte order mark") << "bom.json"
                                     << "\xEF\xBB\xBF" + Minimal << "bom.pdf"
                                     << int(convert::ProgressSteps) << true << QString();
    // Escaped surrogates without their other half, the same refusal for both.
    for (const char *lone : {"\\ud800", "\\udc00", "\\ud800\\u0041"}) {
        QTest::addRow("lone surrogate %s", lone)
                << "surrogate.json" << QByteArray(R"({"a": ")" + QByteArray(lone) + "\"}")
                << "surrogate.pdf" << 0 << false << "Surrogat";
    }
    // "Unicode" from Windows editors: read with a byte order mark, named without.
    const QString text = QString::fromUtf8(Minimal);
    const auto utf16 = [&text](bool bigEndian) {
        QByteArray bytes;
        for (const QChar c : text) {
            const char high = char(c.unicode() >> 8);
            const char low = char(c.unicode() & 0xFF);
            bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
        }
        return bytes;
    };
    QByteArray utf32le;
    for (const uint c : text.toUcs4())
        utf32le += QByteArray(reinterpret_cast<const char *>(&c), 4); // little-endian machines
    QTest::newRow("UTF-16LE with BOM") << "u16le.json"
                                       << "\xFF\xFE" + utf16(false) << "u16le.pdf"
                                       << int(convert::ProgressSteps) << true << QString();
    QTest::newRow("UTF-16BE with BOM") << "u16be.json"
                                       << "\xFE\xFF" + utf16(true) << "u16be.pdf"
                                       << int(convert::ProgressSteps) << true << QString();
    QTest::newRow("UTF-32LE with BOM")
            << "u32.json" << QByteArray("\xFF\xFE\0\0", 4) + utf32le << "u32.pdf"
            << int(convert::ProgressSteps) << true << QString();
    QTest::newRow("UTF-16LE, no BOM") << "n16.json" << utf16(false) << "n16.pdf" << 0 << false
                                      << "ist als UTF-16 gespeichert, nicht als UTF-8";
    QTest::newRow("UTF-32LE, no BOM") << "n32.json" << utf32le << "n32.pdf" << 0 << false
                                      << "ist als UTF-32 gespeichert, nicht als UTF-8";
    QTest::newRow("UTF-16 with BOM, lone surrogate")
            << "bad16.json" << QByteArray("\xFF\xFE{\0\x00\xDC", 6) << "bad16.pdf" << 0 << false
            << "ungültiges UTF-16 (Zeile 1, Spalte 2)";
    QTest::newRow("target folder missing")
            << "nofolder.json" << Minimal << "gone/nofolder.pdf" << 8 << false << "existiert nicht";
    QTest::newRow("target is a folder")
            << "folder.json" << Minimal << "afolder.pdf" << 8 << false << "Ordner";
}

void tst_Convert::signalSequence()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, target);
    QFETCH(int, progress);
    QFETCH(bool, finishes);
    QFETCH(QString, reason);

    const QString source
            = m_dir.filePath(fileName.isEmpty() ? QStringLiteral("missing.json") : fileName);
    if (!fileName.isEmpty())
        QVERIFY(!writeFile(source, content).isEmpty());
    QDir(m_dir.path()).mkpath(QStringLiteral("afolder.pdf"));
    const QString pdf = m_dir.filePath(target);

    const ConversionRun run = runConversion(source, pdf);
    // The reason comes first, so a receiver of aborted() already has it.
    QVERIFY(run.reasonBeforeAbort);

    QCOMPARE(run.progress, steps(progress));
    QCOMPARE(run.finished, finishes ? 1 : 0);
    QCOMPARE(run.aborted, finishes ? 0 : 1);
    QCOMPARE(run.reasons.size(), finishes ? 0 : 1);
    if (!finishes) {
        QVERIFY2(run.reasons.first().contains(reason), qPrintable(run.reasons.first()));
        QVERIFY(!QFileInfo(pdf).isFile());
    } else {
        QVERIFY(QFileInfo(pdf).size() > 0);
    }
    const QStringList left = filesIn(m_dir.path()).filter(QStringLiteral(".part"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void tst_Convert::outputFileName_data()
{
    QTest::addColumn<QString>("pdfPath");
    QTest::addColumn<QString>("written");

    QTest::newRow("ends in .pdf") << "/in/a.pdf"
                                  << "/in/a.pdf";
    QTest::newRow("ends in .json") << "/in/a.json"
                                   << "/in/a.pdf";
    QTest::newRow("inner .json, other ending") << "/x.json/a.txt"
                                               << "/x.pdf/a.txt";
    QTest::newRow(".PDF in capitals") << "/x.json/a.PDF"
                                      << "/x.pdf/a.PDF";
    QTest::newRow("nothing to replace") << "/in/a"
                                        << "/in/a";
    QTest::newRow(".pdf kept, inner .json too") << "/x.json/a.pdf"
                                                << "/x.json/a.pdf";
}

void tst_Convert::outputFileName()
{
    QFETCH(QString, pdfPath);
    QFETCH(QString, written);
    QCOMPARE(convert::outputFileName(pdfPath), written);
}

void tst_Convert::earlierReportSurvivesFailure_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("invalid source") << QByteArray("{ nope");
    QTest::newRow("empty source") << QByteArray();
}

void tst_Convert::earlierReportSurvivesFailure()
{
    QFETCH(QByteArray, content);

    TestFolder dir;
    const QString source = writeFile(dir.filePath(QStringLiteral("a.json")), content);
    const QByteArray earlier = standInReport("an earlier report");
    const QString pdf = writeFile(dir.filePath(QStringLiteral("a.pdf")), earlier);

    const ConversionRun run = runConversion(source, pdf);
    QVERIFY(run.reasonBeforeAbort);

    QCOMPARE(run.aborted, 1);
    QCOMPARE(readFile(pdf), earlier);
    QCOMPARE(filesIn(dir.path()), QStringList({QStringLiteral("a.json"), QStringLiteral("a.pdf")}));
}

void tst_Convert::successReplacesEarlierReport()
{
    TestFolder dir;
    const QString source = writeFile(dir.filePath(QStringLiteral("a.json")), Minimal);
    const QString pdf = writeFile(dir.filePath(QStringLiteral("a.pdf")), standInReport("old"));
    QFile::setPermissions(pdf, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                       | QFileDevice::ReadGroup);

    const ConversionRun run = runConversion(source, pdf);
    QVERIFY(run.reasonBeforeAbort);

    QCOMPARE(run.finished, 1);
    QVERIFY(readFile(pdf).startsWith("%PDF-"));
    // The new report is as readable as the one it replaced, not private.
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                        | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(pdf) & others, QFileDevice::ReadGroup);
    QCOMPARE(filesIn(dir.path()), QStringList({QStringLiteral("a.json"), QStringLiteral("a.pdf")}));
}

QTEST_MAIN(tst_Convert)
#include "tst_convert.moc"
