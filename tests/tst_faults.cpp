#include "conversionrun.h"
#include "engine/conversionpool.h"
#include "engine/convert.h"
#include "engine/jsoncheck.h"
#include "pdfreport.h"
#include "system/reportfile.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

// Untrusted input and a hostile disk: nothing crashes, hangs or passes a
// failure off as success, and nothing already on disk is lost.
class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void duplicateKeys_data();
    void duplicateKeys();
    void faultTexts_data();
    void faultTexts();
    void hostileInput_data();
    void hostileInput();
    void relaisOfManyStates();
    void fullDiskKeepsEarlierReport();
    void manyAtOnceMatchOneAtATime();

private:
    TestFolder m_dir;
};

// What stands at the path of the configuration a test converts.
enum class Source { File, Folder, Fifo, Device, Oversized };
Q_DECLARE_METATYPE(Source)

namespace {

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

} // namespace

void tst_Faults::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
}

void tst_Faults::duplicateKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("key"); // empty: no duplicate

    QTest::newRow("none") << QByteArray(R"({"a": 1, "b": {"a": 2}, "c": [{"a": 3}, {"a": 4}]})")
                          << QString();
    QTest::newRow("top level") << QByteArray(R"({"a": 1, "b": 2, "a": 3})") << "a";
    QTest::newRow("nested") << QByteArray(R"({"configuration": {"name": "x", "name": "y"}})")
                            << "name";
    QTest::newRow("in an array entry")
            << QByteArray(R"({"outputs": [{"unit": 1}, {"unit": 1, "unit": 2}]})") << "unit";
    QTest::newRow("escaped spelling") << QByteArray(R"({"name": 1, "na\u006de": 2})") << "name";
    QTest::newRow("key text as a value")
            << QByteArray(R"({"a": "a", "b": ["a", "a"]})") << QString();
    QTest::newRow("quote inside a key")
            << QByteArray(R"({"a\"b": 1, "a": 2, "b": 3})") << QString();
    QTest::newRow("umlaut keys") << QByteArray(R"({"Höhe": 1, "H\u00f6he": 2})")
                                 << QStringLiteral("Höhe");
    QTest::newRow("deep and long") << ("{\"k\":" + nested(1000) + ", \"k\": 1}") << "k";
}

void tst_Faults::duplicateKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, key);

    const JsonCheck check = checkJson(json);
    QCOMPARE(check.verdict, key.isEmpty() ? JsonCheck::Valid : JsonCheck::DuplicateKey);
    QCOMPARE(check.key, key);
}

// A fault both readers name is named in the same words.
void tst_Faults::faultTexts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing colon")
            << QByteArray(R"({"a" 1})") << "nach einem Schlüssel fehlt der Doppelpunkt";
    QTest::newRow("text after the end")
            << QByteArray("{} x") << "nach dem Ende des Dokuments folgt weiterer Text";
}

void tst_Faults::faultTexts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);

    const JsonCheck check = checkJson(json);
    QCOMPARE(check.verdict, JsonCheck::NotJson);
    QCOMPARE(check.reason, text);
    QJsonParseError error {};
    QJsonDocument::fromJson(json, &error);
    QCOMPARE(parseErrorText(error.error), text);
}

void tst_Faults::hostileInput_data()
{
    QTest::addColumn<Source>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason"); // part of the abort reason; empty: converts

    const QByteArray duplicateName = configuration(R"("name": "a", "name": "b")");
    const QByteArray hugeNumbers = configuration(R"("altitude": 1e308, "voltage": -1e308,
        "display": {"rotation": 1e300, "brightness": 1.7976931348623157e308},
        "outputs": [{"producer": 1e20, "measure": {"unit": -1e20}}],
        "tlf": {"lowColor": 9e18})");
    const QByteArray beyondDouble = configuration(R"("altitude": 1e400)");
    const QByteArray oddTypes = configuration(R"("name": {"a": [1, 2]}, "outputs": [[], null, true],
        "relais": [{"states": {"0": 1}}, {"states": "0"}, {"states": [[0], {}]}],
        "display": [], "tlf": "x", "modbus": 5, "service": false)");
    const QByteArray nulInText = configuration(R"("name": "a\u0000b")");
    const QString notAFile = QStringLiteral("keine gewöhnliche Datei");

    // clang-format off
    QTest::newRow("duplicate key")          << Source::File      << duplicateName  << "\"name\" zweimal";
    QTest::newRow("depth 1024")             << Source::File      << nested(1024)   << QString();
    QTest::newRow("depth 1025")             << Source::File      << nested(1025)   << "verschachtelt";
    QTest::newRow("depth 10000")            << Source::File      << nested(10000)  << "verschachtelt";
    QTest::newRow("huge numbers")           << Source::File      << hugeNumbers    << QString();
    QTest::newRow("number beyond a double") << Source::File      << beyondDouble   << "lässt sich nicht verarbeiten";
    QTest::newRow("odd types")              << Source::File      << oddTypes       << QString();
    QTest::newRow("NUL in a text")          << Source::File      << nulInText      << QString();
    QTest::newRow("a folder named .json")   << Source::Folder    << QByteArray()   << notAFile;
    QTest::newRow("a FIFO named .json")     << Source::Fifo      << QByteArray()   << notAFile;
    QTest::newRow("a link to a device")     << Source::Device    << QByteArray()   << notAFile;
    QTest::newRow("over the size cap")      << Source::Oversized << QByteArray()   << "32 MiB";
    // clang-format on
}

void tst_Faults::hostileInput()
{
    QFETCH(Source, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    const QString source = m_dir.filePath(
            QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'))
            + QLatin1String(".json"));
    switch (kind) {
    case Source::File:
        writeFile(source, content);
        break;
    case Source::Folder:
        QVERIFY(QDir().mkpath(source));
        break;
    case Source::Oversized: {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(33) * 1024 * 1024)); // sparse: costs no disk
        break;
    }
    case Source::Fifo:
    case Source::Device:
#ifdef Q_OS_UNIX
        if (kind == Source::Fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), source));
#else
        QSKIP("needs a POSIX file system");
#endif
        break;
    }
    const QString pdf = convert::outputFileName(source);

    const ConversionRun run = runConversion(source, pdf);

    QCOMPARE(run.finished > 0, reason.isEmpty());
    QVERIFY2(run.lastReason().contains(reason), qPrintable(run.lastReason()));
    if (reason.isEmpty()) {
        QVERIFY(ReportFile::isCompletePdf(pdf));
    } else {
        QVERIFY2(run.lastReason().contains(source), qPrintable(run.lastReason()));
        QVERIFY(!QFileInfo::exists(pdf));
    }
}

void tst_Faults::relaisOfManyStates()
{
    constexpr int States = 100000;
    QByteArray states;
    states.reserve(3 * States);
    for (int i = 0; i < States; ++i)
        states += i ? ",0" : "1";
    const QString source = writeFile(m_dir.filePath(QStringLiteral("states.json")),
                                     configuration(R"("relais": [{"states": [)" + states + "]}]"));
    const QString pdf = convert::outputFileName(source);

    const ConversionRun run = runConversion(source, pdf);

    QVERIFY2(run.finished > 0, qPrintable(run.lastReason()));
    const PdfReport report(pdf);
    int stateLines = 0;
    int lastNumber = 0;
    for (const PdfLine &line : report.lines()) {
        if (!line.text.startsWith(QLatin1String("Zustand ")))
            continue;
        ++stateLines;
        const int number = line.text.section(QLatin1Char(' '), 1, 1).chopped(1).toInt();
        QCOMPARE(number, lastNumber + 1);
        lastNumber = number;
    }
    QCOMPARE(stateLines, States);
}

void tst_Faults::fullDiskKeepsEarlierReport()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a Linux tmpfs");
#else
    const QString disk = m_dir.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=256k"), QStringLiteral("tmpfs"), disk})
        != 0)
        QSKIP("mounting a small tmpfs is not permitted here");
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {disk}); });

    const QString source
            = QDir(QStringLiteral(EXAMPLES_DIR)).filePath(QStringLiteral("typical.json"));
    const QString pdf = QDir(disk).filePath(QStringLiteral("typical.pdf"));
    const QByteArray earlier = standInReport("the report filed last year");
    writeFile(pdf, earlier);
    // Fill the disk but for a few kilobytes: less than a report needs.
    {
        QFile filler(QDir(disk).filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
    }
    QFile::resize(QDir(disk).filePath(QStringLiteral("filler")),
                  QFileInfo(QDir(disk).filePath(QStringLiteral("filler"))).size()
                          - qint64(16) * 1024);

    const ConversionRun run = runConversion(source, pdf);

    QVERIFY(!run.finished);
    QVERIFY2(run.lastReason().contains(pdf), qPrintable(run.lastReason()));
    QCOMPARE(readFile(pdf), earlier);
    QCOMPARE(filesIn(disk), QStringList({QStringLiteral("filler"), QStringLiteral("typical.pdf")}));
#endif
}

void tst_Faults::manyAtOnceMatchOneAtATime()
{
    constexpr int Conversions = 200;
    const QDir examples(QStringLiteral(EXAMPLES_DIR));
    const QStringList names
            = examples.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    TestFolder dir;

    // The reference: each example converted alone.
    QHash<QString, QStringList> expected;
    for (const QString &name : names) {
        const QString pdf = dir.filePath(QStringLiteral("ref-") + name + QLatin1String(".pdf"));
        QVERIFY(runConversion(examples.filePath(name), pdf).finished > 0);
        expected.insert(name, PdfReport(pdf).texts());
    }

    int finished = 0;
    int aborted = 0;
    ConversionPool pool;
    for (int i = 0; i < Conversions; ++i) {
        const QString &name = names.at(i % names.size());
        auto *task = new convert;
        connect(task, &convert::finished, this, [&finished] { ++finished; });
        connect(task, &convert::aborted, this, [&aborted] { ++aborted; });
        pool.start(task, examples.filePath(name),
                   dir.filePath(QStringLiteral("%1-%2.pdf").arg(i).arg(name)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished + aborted, Conversions, 120000);
    QCOMPARE(aborted, 0);
    pool.waitForAll();

    for (int i = 0; i < Conversions; ++i) {
        const QString &name = names.at(i % names.size());
        const QString pdf = dir.filePath(QStringLiteral("%1-%2.pdf").arg(i).arg(name));
        QVERIFY(ReportFile::isCompletePdf(pdf));
        QStringList texts = PdfReport(pdf).texts();
        QCOMPARE(texts, expected.value(name));
    }
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
