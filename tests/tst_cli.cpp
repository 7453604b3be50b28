#include "cli/console.h"
#include "cli/converterapp.h"
#include "cli/joblist.h"
#include "img/opaquelogo.h"
#include "pdfreport.h"
#include "report/layout.h"
#include "report/reportlogo.h"
#include "system/reportfile.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

// The command-line converter as a script sees it: exit status, messages and
// the files it leaves.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void exitStatus_data();
    void exitStatus();
    void usage_data();
    void usage();
    void jobRules_data();
    void jobRules();
    void jobsGiveTheSameReports();
    void updateConvertsWhatIsOutOfDate();
    void watchFolder();
    void watchNewNestedFolders();
    void comparedFolders();
    void versionAndHelp();
    void hundredFilesThreeBad();
    void fileNames_data();
    void fileNames();
    void fullTemporaryFolder();
    void interruptedLeavesNothing_data();
    void interruptedLeavesNothing();
    void silentPrintServer();

private:
    QScopedPointer<TestFolder> m_dir;
};

namespace {

const QByteArray Valid = configuration(R"("name": "Halle 3", "date": "01.02.2026 08:00",
    "outputs": [{"measure": {"measure": "PRESSURE", "unit": 9}}],
    "relais": [{"states": [0, 1], "measure": {"measure": "CO2"}}])");

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

// fakeFsType: the file-system type the converter is to see for every folder.
void startCli(QProcess &process, const QStringList &arguments, const QString &folder,
              const QString &fakeFsType = QString())
{
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!fakeFsType.isEmpty())
        environment.insert(QStringLiteral("BELMORAND_FAKE_FS_TYPE"), fakeFsType);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the converter chooses offscreen itself
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PATH), arguments);
}

Result runCli(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    startCli(process, arguments, folder);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// Every PDF below folder, relative to it, sorted.
QStringList pdfsBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, {QStringLiteral("*.pdf"), QStringLiteral("*.part")},
                    QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

// The raw data of every picture in a PDF, as poppler's pdfimages takes
// them out (a JPEG as it is stored).
QSet<QByteArray> picturesIn(const QString &path)
{
    QTemporaryDir pictures;
    QProcess::execute(QStringLiteral("pdfimages"),
                      {QStringLiteral("-j"), path, pictures.filePath(QStringLiteral("bild"))});
    QSet<QByteArray> found;
    for (const QFileInfo &file : QDir(pictures.path()).entryInfoList(QDir::Files))
        found.insert(readFile(file.filePath()));
    return found;
}

// The report logo as Qt's own JPEG plugin encodes it for Qt's PDF writer
// (this test loads it as any Qt program does).
QByteArray logoAsQtEncodesIt()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(PdfJpegQuality);
    return writer.write(ReportLogo::image()) ? jpeg : QByteArray();
}

// The texts on pages [from, to) of a report, those inside its drawing area
// or those below it (the foot lines).
} // namespace

void tst_Cli::init()
{
    m_dir.reset(new TestFolder);
    QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("folder/sub"));
    dir.mkpath(QStringLiteral("nojson"));
    for (const char *name : {"good.json", "other.json", "upper.JSON", "folder/b.json",
                             "folder/a.json", "folder/sub/c.json", "folder/sub/a.json"})
        writeFile(dir.filePath(QLatin1String(name)), Valid);
    writeFile(dir.filePath(QStringLiteral("folder/notes.txt")), "keine Konfiguration");
    writeFile(dir.filePath(QStringLiteral("broken.json")), "{\"configuration\": ");
    writeFile(dir.filePath(QStringLiteral("empty.json")), QByteArray());
    // JSON, but no configuration in it.
    writeFile(dir.filePath(QStringLiteral("array.json")), "[1,2,3]");
    writeFile(dir.filePath(QStringLiteral("nothing.json")), "{}");
    writeFile(dir.filePath(QStringLiteral("number.json")), "{\"configuration\": 5}");
}

void tst_Cli::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("written"); // every PDF below the folder afterwards
    QTest::addColumn<QString>("error"); // part of stderr

    QTest::newRow("one good file") << QStringList {"good.json"} << 0 << QStringList {"good.pdf"}
                                   << "1 konvertiert, 0 fehlgeschlagen";
    QTest::newRow("two good files") << QStringList {"good.json", "other.json"} << 0
                                    << QStringList {"good.pdf", "other.pdf"} << "2 konvertiert";
    QTest::newRow("invalid file") << QStringList {"broken.json"} << 1 << QStringList()
                                  << "broken.json";
    QTest::newRow("empty file") << QStringList {"empty.json"} << 1 << QStringList() << "empty.json";
    QTest::newRow("suffix in capitals")
            << QStringList {"upper.JSON"} << 1 << QStringList() << "upper.JSON";
    QTest::newRow("missing file") << QStringList {"none.json"} << 1 << QStringList() << "none.json";
    // Written as always, but said: its defaults read like real settings.
    const QString defaultsOnly = QStringLiteral(
            " enthält kein Objekt \"configuration\": der Bericht zeigt nur Vorgabewerte\n");
    QTest::newRow("array, no configuration")
            << QStringList {"array.json"} << 0 << QStringList {"array.pdf"}
            << "belmorand-cli: Warnung: Die Datei /";
    QTest::newRow("empty object") << QStringList {"-q", "nothing.json"} << 0
                                  << QStringList {"nothing.pdf"} << "nothing.json" + defaultsOnly;
    QTest::newRow("configuration a number")
            << QStringList {"number.json", "good.json"} << 0
            << QStringList {"good.pdf", "number.pdf"} << "number.json" + defaultsOnly;
    QTest::newRow("bad among good")
            << QStringList {"good.json", "broken.json", "other.json"} << 1
            << QStringList {"good.pdf", "other.pdf"} << "2 konvertiert, 1 fehlgeschlagen";
    QTest::newRow("folder in name order")
            << QStringList {"folder"} << 0 << QStringList {"folder/a.pdf", "folder/b.pdf"}
            << QString();
    QTest::newRow("folder recursive")
            << QStringList {"-r", "folder"} << 0
            << QStringList {"folder/a.pdf", "folder/b.pdf", "folder/sub/a.pdf", "folder/sub/c.pdf"}
            << "4 konvertiert";
    QTest::newRow("folder without JSON") << QStringList {"nojson"} << 0 << QStringList()
                                         << "Hinweis: im Ordner nojson liegt keine Datei";
    QTest::newRow("output file") << QStringList {"-o", "out/bericht.pdf", "good.json"} << 1
                                 << QStringList() << "existiert nicht";
    QTest::newRow("output file in a folder")
            << QStringList {"--output", "folder/bericht.pdf", "good.json"} << 0
            << QStringList {"folder/bericht.pdf"} << QString();
    QTest::newRow("output dir") << QStringList {"-d", "out", "good.json", "folder"} << 0
                                << QStringList {"out/a.pdf", "out/b.pdf", "out/good.pdf"}
                                << QString();
    QTest::newRow("output dir, same name twice")
            << QStringList {"-r", "-d", "out", "folder"} << 1
            << QStringList {"out/a.pdf", "out/b.pdf", "out/c.pdf"}
            << "sub/a.json wird nicht konvertiert";
    QTest::newRow("file and its folder")
            << QStringList {"folder/a.json", "folder"} << 0
            << QStringList {"folder/a.pdf", "folder/b.pdf"} << "2 konvertiert";
    QTest::newRow("same file twice") << QStringList {"good.json", "good.json"} << 1
                                     << QStringList {"good.pdf"} << "entstünde schon";
    QTest::newRow("one job") << QStringList {"-j", "1", "good.json", "other.json"} << 0
                             << QStringList {"good.pdf", "other.pdf"} << QString();
    QTest::newRow("PDF/A") << QStringList {"--pdfa", "good.json"} << 0 << QStringList {"good.pdf"}
                           << "1 konvertiert";
    QTest::newRow("update without reports")
            << QStringList {"-u", "good.json", "folder"} << 0
            << QStringList {"folder/a.pdf", "folder/b.pdf", "good.pdf"}
            << "3 konvertiert, 0 fehlgeschlagen, 0 schon aktuell";
    QTest::newRow("quiet") << QStringList {"-q", "good.json", "broken.json"} << 1
                           << QStringList {"good.pdf"} << "broken.json";

    QTest::newRow("compared files")
            << QStringList {"--compare", "good.json", "other.json"} << 0
            << QStringList {"other-aenderungen.pdf"} << "1 verglichen, 0 fehlgeschlagen";
    QTest::newRow("compared into -o")
            << QStringList {"--compare", "-o", "folder/x.pdf", "good.json", "folder/a.json"} << 0
            << QStringList {"folder/x.pdf"} << QString();
    QTest::newRow("compared into -d, PDF/A")
            << QStringList {"--compare", "--pdfa", "-d", "out", "good.json", "folder/a.json"} << 0
            << QStringList {"out/a-aenderungen.pdf"} << QString();
    QTest::newRow("compared with a broken file")
            << QStringList {"--compare", "good.json", "broken.json"} << 1 << QStringList()
            << "0 verglichen, 1 fehlgeschlagen";
    QTest::newRow("compared with a missing file")
            << QStringList {"--compare", "none.json", "good.json"} << 1 << QStringList()
            << "none.json existiert nicht";
    QTest::newRow("compared into one document")
            << QStringList {"--compare", "-c", "aenderungen.pdf", "good.json", "other.json"} << 0
            << QStringList {"aenderungen.pdf"} << "1 verglichen, 0 fehlgeschlagen";
    QTest::newRow("compared without configuration")
            << QStringList {"--compare", "nothing.json", "good.json"} << 0
            << QStringList {"good-aenderungen.pdf"} << "nothing.json" + defaultsOnly;

    QTest::newRow("combined") << QStringList {"-c", "anlage.pdf", "good.json", "folder"} << 0
                              << QStringList {"anlage.pdf"} << "3 konvertiert, 0 fehlgeschlagen";
    QTest::newRow("combined, bad among good")
            << QStringList {"--combine", "anlage.pdf", "broken.json", "good.json"} << 1
            << QStringList {"anlage.pdf"} << "broken.json";
    QTest::newRow("combined, nothing convertible")
            << QStringList {"-c", "anlage.pdf", "broken.json", "empty.json"} << 1 << QStringList()
            << "anlage.pdf wurde nicht geschrieben";
    QTest::newRow("combined into a missing folder")
            << QStringList {"-c", "out/anlage.pdf", "good.json"} << 1 << QStringList()
            << "existiert nicht";

    // Two usage errors as a script meets them; all of them are in usage().
    QTest::newRow("no arguments") << QStringList() << 2 << QStringList() << "--help";
    QTest::newRow("unknown option")
            << QStringList {"--frobnicate", "good.json"} << 2 << QStringList() << "frobnicate";
}

void tst_Cli::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, written);
    QFETCH(QString, error);

    const Result result = runCli(arguments, m_dir->path());

    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(error), qPrintable(result.err));
    QCOMPARE(pdfsBelow(m_dir->path()), written);
    const bool quiet = arguments.contains(QStringLiteral("-q"));
    for (const QString &pdf : qAsConst(written)) {
        const QString path = QDir(m_dir->path()).filePath(pdf);
        QCOMPARE(result.out.contains(path), !quiet);
        QVERIFY(PdfReport(path).find(QStringLiteral("Ordano Protokoll vom:")));
        // The converter's logo is the build's JPEG: byte for byte Qt's own.
        QCOMPARE(picturesIn(path), QSet<QByteArray> {logoAsQtEncodesIt()});
    }
    if (quiet)
        QVERIFY(!result.err.contains(QStringLiteral("konvertiert,")));
}

// The converter's own reading of its command line, in this process: each
// refused line ends with exit code 2, one message and nothing written.
void tst_Cli::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // the whole of standard error after "belmorand-cli: "

    const QString poll = QStringLiteral("--poll braucht eine ganze Zahl von 1 bis 3600, nicht ");
    const QString jobs = QStringLiteral("--jobs braucht eine ganze Zahl von 1 bis 64, nicht ");
    const QString oneInput = QStringLiteral("--output gilt nur für genau eine Eingabedatei");
    QTest::newRow("no arguments") << QStringList()
                                  << "keine Datei angegeben (Aufruf: "
                                     "belmorand-cli [Optionen] PFAD..., Hilfe mit "
                                     "--help)";
    QTest::newRow("unknown option")
            << QStringList {"--frobnicate", "good.json"} << "Unbekannte Option \"frobnicate\".";
    QTest::newRow("missing value")
            << QStringList {"good.json", "-j"} << "Nach \"-j\" fehlt ein Wert.";
    QTest::newRow("output with two inputs")
            << QStringList {"-o", "x.pdf", "good.json", "other.json"} << oneInput;
    QTest::newRow("output with a folder") << QStringList {"-o", "x.pdf", "folder"} << oneInput;
    QTest::newRow("output not a PDF name")
            << QStringList {"-o", "x.txt", "good.json"}
            << "der Name für --output muss auf \".pdf\" enden: x.txt";
    QTest::newRow("output and output dir") << QStringList {"-o", "x.pdf", "-d", "out", "good.json"}
                                           << "--output und --output-dir schließen einander aus";
    QTest::newRow("watch a file") << QStringList {"--watch", "good.json"}
                                  << "--watch beobachtet Ordner; good.json ist keiner";
    QTest::newRow("watch with output file")
            << QStringList {"--watch", "-o", "x.pdf", "folder"} << oneInput;
    QTest::newRow("watch with output file for one file")
            << QStringList {"--watch", "-o", "x.pdf", "good.json"}
            << "--watch schreibt jeden Bericht unter seinem eigenen Namen, --output passt nicht "
               "dazu";
    QTest::newRow("poll without watch")
            << QStringList {"--poll", "2", "folder"} << "--poll gilt nur mit --watch";
    QTest::newRow("poll beyond the bound")
            << QStringList {"--watch", "--poll", "3601", "folder"} << poll + "\"3601\"";
    QTest::newRow("poll zero") << QStringList {"--watch", "--poll", "0", "folder"}
                               << poll + "\"0\"";
    QTest::newRow("combined not a PDF name")
            << QStringList {"-c", "anlage", "good.json"}
            << "der Name für --combine muss auf \".pdf\" enden: anlage";
    QTest::newRow("combined with output dir")
            << QStringList {"-c", "a.pdf", "-d", "out", "good.json"}
            << "--combine schreibt ein einziges Dokument; --output, --output-dir, --update und "
               "--watch passen nicht dazu";
    QTest::newRow("title without combined")
            << QStringList {"--title", "Anlage", "good.json"} << "--title gilt nur mit --combine";
    QTest::newRow("compare one path") << QStringList {"--compare", "good.json"}
                                      << "--compare braucht genau zwei Pfade: VORHER und NACHHER";
    QTest::newRow("compare a file with a folder")
            << QStringList {"--compare", "good.json", "folder"}
            << "--compare vergleicht zwei Dateien oder zwei Ordner, nicht eine Datei mit einem "
               "Ordner";
    QTest::newRow("compare folders into one file")
            << QStringList {"--compare", "-o", "x.pdf", "folder", "nojson"}
            << "--output gilt mit --compare nur für zwei Dateien";
    QTest::newRow("compare and watch")
            << QStringList {"--compare", "--watch", "folder", "nojson"}
            << "--compare vergleicht einmal; --watch und --update passen nicht dazu";
    QTest::newRow("jobs zero") << QStringList {"-j", "0", "good.json"} << jobs + "\"0\"";
    QTest::newRow("jobs beyond the bound")
            << QStringList {"-j", "65", "good.json"} << jobs + "\"65\"";
    QTest::newRow("jobs not a number")
            << QStringList {"--jobs", "viele", "good.json"} << jobs + "\"viele\"";
}

void tst_Cli::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Console::setStreams(&out, &err);
    const auto restore = qScopeGuard([&] {
        Console::setStreams(nullptr, nullptr);
        QDir::setCurrent(before);
    });

    const int exitCode
            = ConverterApp::run(QStringList {QStringLiteral("belmorand-cli")} + arguments);

    QCOMPARE(exitCode, int(ExitCode::UsageError));
    QCOMPARE(QString::fromLocal8Bit(err.data()),
             QStringLiteral("belmorand-cli: ") + message + QLatin1Char('\n'));
    QCOMPARE(out.data(), QByteArray());
    QCOMPARE(pdfsBelow(m_dir->path()), QStringList());
}

// Which files a batch lists and which of its jobs are refused, by the
// converter's library in this process.
void tst_Cli::jobRules_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QString>("outputDir");
    QTest::addColumn<QStringList>("files"); // listed, in this order
    QTest::addColumn<QStringList>("refused"); // source, its report and its first writer

    const QStringList folder {"folder/a.json", "folder/b.json"};
    QTest::newRow("folder given twice")
            << QStringList {"folder", "folder"} << false << QString() << folder << QStringList();
    QTest::newRow("folder again through a link")
            << QStringList {"folder", "again"} << false << QString() << folder << QStringList();
    QTest::newRow("file and its folder") << QStringList {"folder/a.json", "folder"} << false
                                         << QString() << folder << QStringList();
    QTest::newRow("dangling link listed") << QStringList {"nojson"} << false << QString()
                                          << QStringList {"nojson/dangling.json"} << QStringList();
    QTest::newRow("target clash under -d")
            << QStringList {"folder"} << true << "out"
            << QStringList {"folder/a.json", "folder/b.json", "folder/sub/a.json",
                            "folder/sub/c.json"}
            << QStringList {"folder/sub/a.json", "out/a.pdf", "folder/a.json"};
}

void tst_Cli::jobRules()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, recursive);
    QFETCH(QString, outputDir);
    QFETCH(QStringList, files);
    QFETCH(QStringList, refused);
    const QDir dir(m_dir->path());
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("folder")),
                        dir.filePath(QStringLiteral("again"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere.json")),
                        dir.filePath(QStringLiteral("nojson/dangling.json"))));
    for (QString &path : paths)
        path = dir.filePath(path);

    FolderFindings findings;
    const QStringList listed = expandPaths(paths, recursive, &findings);
    TargetRule rule;
    rule.outputDir = outputDir.isEmpty() ? QString() : dir.filePath(outputDir);
    const QVector<ConversionJob> jobs = makeJobs(listed, rule);

    QStringList relative;
    for (const QString &file : listed)
        relative << dir.relativeFilePath(file);
    QCOMPARE(relative, files);
    QCOMPARE(findings.empty, QStringList());
    QCOMPARE(findings.unreadable, QStringList());
    QStringList refusals;
    for (const ConversionJob &job : jobs) {
        if (!job.refusal.isEmpty())
            refusals << job.refusal;
    }
    QStringList expected;
    if (!refused.isEmpty())
        expected << QStringLiteral("Die Datei %1 wird nicht konvertiert: ihr Bericht %2 entstünde "
                                   "schon aus %3.")
                            .arg(dir.filePath(refused.at(0)), dir.filePath(refused.at(1)),
                                 dir.filePath(refused.at(2)));
    QCOMPARE(refusals, expected);
}

void tst_Cli::jobsGiveTheSameReports()
{
    QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("many"));
    dir.mkpath(QStringLiteral("one"));
    dir.mkpath(QStringLiteral("four"));
    const QDir examples(QStringLiteral(EXAMPLES_DIR));
    const QStringList names = examples.entryList({QStringLiteral("*.json")}, QDir::Files);
    for (int copy = 0; copy < 4; ++copy) {
        for (const QString &name : names)
            QFile::copy(examples.filePath(name),
                        dir.filePath(QStringLiteral("many/%1-%2").arg(copy).arg(name)));
    }

    QCOMPARE(runCli({QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("1"),
                     QStringLiteral("-d"), QStringLiteral("one"), QStringLiteral("many")},
                    m_dir->path())
                     .exitCode,
             0);
    QCOMPARE(runCli({QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("4"),
                     QStringLiteral("-d"), QStringLiteral("four"), QStringLiteral("many")},
                    m_dir->path())
                     .exitCode,
             0);

    const QStringList reports
            = QDir(dir.filePath(QStringLiteral("one"))).entryList({QStringLiteral("*.pdf")});
    QCOMPARE(reports.size(), 4 * names.size());
    QCOMPARE(QDir(dir.filePath(QStringLiteral("four"))).entryList({QStringLiteral("*.pdf")}),
             reports);
    for (const QString &report : reports) {
        const PdfReport one(dir.filePath(QStringLiteral("one/") + report));
        const PdfReport four(dir.filePath(QStringLiteral("four/") + report));
        QVERIFY(one.pageCount() > 0);
        QCOMPARE(four.pageCount(), one.pageCount());
        QCOMPARE(four.texts(), one.texts());
    }
}

void tst_Cli::updateConvertsWhatIsOutOfDate()
{
    const QDir dir(m_dir->path());
    QCOMPARE(runCli({QStringLiteral("folder")}, dir.path()).exitCode, 0);
    QFile changed(dir.filePath(QStringLiteral("folder/b.json")));
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                QFileDevice::FileModificationTime));
    changed.close();

    const Result result
            = runCli({QStringLiteral("--update"), QStringLiteral("folder")}, dir.path());

    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, dir.filePath(QStringLiteral("folder/b.pdf")) + QLatin1Char('\n'));
    QVERIFY2(
            result.err.contains(QStringLiteral("1 konvertiert, 0 fehlgeschlagen, 1 schon aktuell")),
            qPrintable(result.err));

    // A current report still belongs to its file: another file that would
    // write it is refused.
    const Result again = runCli({QStringLiteral("-u"), QStringLiteral("-r"), QStringLiteral("-d"),
                                 QStringLiteral("folder"), QStringLiteral("folder")},
                                dir.path());
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains(QStringLiteral("sub/a.json wird nicht konvertiert")),
             qPrintable(again.err));
}

// One step after another, as a user's folder sees them; each waits for what
// the watcher prints.
void tst_Cli::watchFolder()
{
    const QDir dir(m_dir->path());
    const QDir folder(dir.filePath(QStringLiteral("folder")));
    QCOMPARE(runCli({QStringLiteral("folder/a.json")}, dir.path()).exitCode, 0);
    QProcess watcher;
    // One conversion at a time, so the stop below finds some still queued.
    startCli(watcher,
             {QStringLiteral("--watch"), QStringLiteral("-j"), QStringLiteral("1"),
              QStringLiteral("folder")},
             dir.path());
    Result seen;
    const auto poll = [&] {
        seen.out += QString::fromLocal8Bit(watcher.readAllStandardOutput());
        seen.err += QString::fromLocal8Bit(watcher.readAllStandardError());
    };
    const auto printed = [&](const QString &name, int times = 1) {
        poll();
        return seen.out.count(folder.filePath(name)) == times;
    };
    constexpr int Timeout = 30000;

    // At start only b.json lacks its report.
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("b.pdf")), Timeout);
    QVERIFY(QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"),
                        folder.filePath(QStringLiteral("copied.json"))));
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("copied.pdf")), Timeout);
    QFile slow(folder.filePath(QStringLiteral("slow.json")));
    QVERIFY(slow.open(QIODevice::WriteOnly));
    slow.write(Valid.left(Valid.size() / 2));
    slow.flush();
    QTest::qWait(200);
    slow.write(Valid.mid(Valid.size() / 2));
    slow.close();
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("slow.pdf")), Timeout);
    // A program that writes in two steps, and a writer that keeps the file
    // open through pauses: neither is taken for broken while it writes.
    writeFile(folder.filePath(QStringLiteral("twice.json")), Valid.left(Valid.size() / 2));
    QTest::qWait(2000);
    QFile appended(folder.filePath(QStringLiteral("twice.json")));
    QVERIFY(appended.open(QIODevice::Append));
    appended.write(Valid.mid(Valid.size() / 2));
    appended.close();
    QFile paused(folder.filePath(QStringLiteral("paused.json")));
    QVERIFY(paused.open(QIODevice::WriteOnly));
    for (int part = 0; part < 3; ++part) {
        paused.write(Valid.mid(part * Valid.size() / 3, Valid.size() / 3 + 1));
        paused.flush();
        QTest::qWait(1500);
    }
    paused.close();
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("twice.pdf")), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("paused.pdf")), Timeout);
    QVERIFY(QFile::rename(dir.filePath(QStringLiteral("good.json")),
                          folder.filePath(QStringLiteral("moved.json"))));
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("moved.pdf")), Timeout);
    // An editor's save: a new file renamed over the old one.
    writeFile(folder.filePath(QStringLiteral(".b.json.swp")), Valid);
    QVERIFY(std::rename(QFile::encodeName(folder.filePath(QStringLiteral(".b.json.swp"))),
                        QFile::encodeName(folder.filePath(QStringLiteral("b.json"))))
            == 0);
    QTRY_VERIFY_WITH_TIMEOUT(printed(QStringLiteral("b.pdf"), 2), Timeout);
    writeFile(folder.filePath(QStringLiteral("bad.json")), "{\"configuration\": [}");
    QTRY_VERIFY_WITH_TIMEOUT(
            (poll(), seen.err.contains(folder.filePath(QStringLiteral("bad.json")))), Timeout);

    // The bad file is named once it is old enough: by then a second report
    // of a file written in steps would have come.
    QVERIFY2(!seen.out.contains(folder.filePath(QStringLiteral("a.pdf")))
                     && !seen.err.contains(QStringLiteral("slow.json"))
                     && !seen.err.contains(QStringLiteral("twice.json"))
                     && !seen.err.contains(QStringLiteral("paused.json")),
             qPrintable(seen.out + seen.err));
    QVERIFY(printed(QStringLiteral("slow.pdf")));
    QVERIFY(printed(QStringLiteral("twice.pdf")));
    QVERIFY(printed(QStringLiteral("paused.pdf")));

    // Stopped while conversions run and wait, it leaves complete reports only.
    for (int i = 0; i < 12; ++i)
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/large.json"),
                    folder.filePath(QStringLiteral("large-%1.json").arg(i)));
    QTRY_VERIFY_WITH_TIMEOUT((poll(), seen.out.contains(QStringLiteral("large-"))), Timeout);
    watcher.terminate();
    QVERIFY(watcher.waitForFinished(Timeout));
    QCOMPARE(watcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watcher.exitCode(), 143);
    poll();
    QVERIFY2(seen.err.contains(QStringLiteral("abgebrochen (SIGTERM)"))
                     && seen.err.contains(QStringLiteral(" konvertiert, ")),
             qPrintable(seen.err));
    for (const QString &file : pdfsBelow(folder.path()))
        QVERIFY2(ReportFile::isCompletePdf(folder.filePath(file)), qPrintable(file));

    // On a share (NFS here, as the converter is made to see it) nothing is
    // told of changes made elsewhere: the folders are looked at instead.
    QProcess share;
    startCli(share, {QStringLiteral("--watch"), QStringLiteral("-r"), QStringLiteral("nojson")},
             dir.path(), QStringLiteral("0x6969"));
    QByteArray shareOut;
    QByteArray shareErr;
    const auto shareSaid = [&](const QByteArray &part) {
        shareOut += share.readAllStandardOutput();
        shareErr += share.readAllStandardError();
        return (shareOut + shareErr).contains(part);
    };
    QTRY_VERIFY_WITH_TIMEOUT(shareSaid("liegt auf einer Netzwerkfreigabe"), Timeout);
    QVERIFY(dir.mkpath(QStringLiteral("nojson/later")));
    writeFile(dir.filePath(QStringLiteral("nojson/later/shared.json")), Valid);
    QTRY_VERIFY_WITH_TIMEOUT(shareSaid("later/shared.pdf"), Timeout);
    share.terminate();
    QVERIFY(share.waitForFinished(Timeout));
    QVERIFY2(!shareSaid("shared.json"), shareErr.constData());
}

// Folders made several levels at once while watched, and files written into
// them straight away: the new folders' first listing and the files' own
// events tell of the same file, and a conversion may read a version that
// completed after it was asked for. Each file is converted once.
void tst_Cli::watchNewNestedFolders()
{
    const QDir tree(m_dir->filePath(QStringLiteral("tree")));
    QVERIFY(tree.mkpath(QStringLiteral(".")));
    QProcess watcher;
    // One conversion at a time: a file's second conversion would be printed
    // before the report of a file written after it.
    startCli(watcher, {"--watch", "-r", "-j", "1", "tree"}, m_dir->path());
    QString out;
    const auto timesPrinted = [&](const QString &report) {
        out += QString::fromLocal8Bit(watcher.readAllStandardOutput());
        return out.count(tree.filePath(report));
    };
    constexpr int Timeout = 30000;
    writeFile(tree.filePath("first.json"), Valid);
    QTRY_COMPARE_WITH_TIMEOUT(timesPrinted("first.pdf"), 1, Timeout); // it watches

    // Conversions queued ahead: the file written in two steps waits behind
    // them, so its first step's conversion reads the second step too.
    const QByteArray large = readFile(QStringLiteral(EXAMPLES_DIR "/large.json"));
    constexpr int QueuedAhead = 8;
    for (int i = 0; i < QueuedAhead; ++i)
        writeFile(tree.filePath(QStringLiteral("large-%1.json").arg(i)), large);
    QVERIFY(tree.mkpath("a/b/c/d") && tree.mkpath("e/f/g"));
    writeFile(tree.filePath("a/b/c/d/once.json"), Valid);
    QFile twice(writeFile(tree.filePath("e/f/g/twice.json"), Valid.left(Valid.size() / 2)));
    QTest::qWait(50); // the watcher takes in the first step; passes without it too
    QVERIFY(twice.open(QIODevice::Append));
    twice.write(Valid.mid(Valid.size() / 2));
    twice.close();
    QTRY_VERIFY_WITH_TIMEOUT(
            timesPrinted("a/b/c/d/once.pdf") > 0 && timesPrinted("e/f/g/twice.pdf") > 0, Timeout);
    writeFile(tree.filePath("last.json"), Valid);
    QTRY_COMPARE_WITH_TIMEOUT(timesPrinted("last.pdf"), 1, Timeout);

    watcher.terminate();
    QVERIFY(watcher.waitForFinished(Timeout));
    QCOMPARE(timesPrinted("a/b/c/d/once.pdf"), 1);
    QCOMPARE(timesPrinted("e/f/g/twice.pdf"), 1);
    const QString err = QString::fromLocal8Bit(watcher.readAllStandardError());
    QVERIFY2(
            err.endsWith(QStringLiteral("%1 konvertiert, 0 fehlgeschlagen\n").arg(QueuedAhead + 4)),
            qPrintable(err));
}

// Two folders of one site, as found and as left: a change report for every
// file in both, by its path inside the folder; a file on one side only is
// named.
void tst_Cli::comparedFolders()
{
    const QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("later/sub"));
    writeFile(dir.filePath(QStringLiteral("later/a.json")), Valid);
    writeFile(dir.filePath(QStringLiteral("later/sub/c.json")),
              QByteArray(Valid).replace("Halle 3", "Halle 4"));
    writeFile(dir.filePath(QStringLiteral("later/new.json")), Valid);

    const Result result = runCli({QStringLiteral("--compare"), QStringLiteral("-r"),
                                  QStringLiteral("folder"), QStringLiteral("later")},
                                 m_dir->path());

    QCOMPARE(result.exitCode, 0);
    QCOMPARE(pdfsBelow(dir.filePath(QStringLiteral("later"))),
             QStringList({"a-aenderungen.pdf", "sub/c-aenderungen.pdf"}));
    QStringList told = result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    told.sort();
    const QString tool = QStringLiteral("belmorand-cli: ");
    QCOMPARE(told, QStringList({"2 verglichen, 0 fehlgeschlagen",
                                tool + "entfernt: " + dir.filePath("folder/b.json"),
                                tool + "entfernt: " + dir.filePath("folder/sub/a.json"),
                                tool + "neu: " + dir.filePath("later/new.json")}));
    const PdfReport changed(dir.filePath(QStringLiteral("later/sub/c-aenderungen.pdf")));
    QVERIFY(changed.find(QStringLiteral("1 Änderung")));
    // Shortened at the left when long.
    QVERIFY(changed.find(QStringLiteral("Vorher: "))
                    ->text.endsWith(QStringLiteral("/folder/sub/c.json")));
    QVERIFY(changed.find(QStringLiteral("Halle 4")));
    QVERIFY(PdfReport(dir.filePath(QStringLiteral("later/a-aenderungen.pdf")))
                    .find(QStringLiteral("Keine Änderungen")));
}

void tst_Cli::versionAndHelp()
{
    const Result version = runCli({QStringLiteral("--version")}, m_dir->path());
    QCOMPARE(version.exitCode, 0);
    QVERIFY2(version.out.startsWith(QStringLiteral("belmorand-cli ")), qPrintable(version.out));

    const Result help = runCli({QStringLiteral("--help")}, m_dir->path());
    QCOMPARE(help.exitCode, 0);
    for (const char *option :
         {"--recursive", "--output", "--output-dir", "--jobs", "--quiet", "--pdfa", "--update",
          "--watch", "--combine", "--title", "--compare", "PFAD"})
        QVERIFY2(help.out.contains(QLatin1String(option)), option);
}

void tst_Cli::hundredFilesThreeBad()
{
    QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("batch"));
    const QSet<int> bad {7, 50, 93};
    for (int i = 0; i < 100; ++i) {
        const QString name = QStringLiteral("batch/cfg_%1.json").arg(i, 3, 10, QLatin1Char('0'));
        writeFile(dir.filePath(name),
                  bad.contains(i) ? QByteArray("{\"configuration\": [}") : Valid);
    }

    const Result result = runCli({QStringLiteral("batch")}, m_dir->path());

    QCOMPARE(result.exitCode, 1);
    QCOMPARE(
            QDir(dir.filePath(QStringLiteral("batch"))).entryList({QStringLiteral("*.pdf")}).size(),
            97);
    for (int i : bad)
        QVERIFY2(result.err.contains(QStringLiteral("cfg_%1.json").arg(i, 3, 10, QLatin1Char('0'))),
                 qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("97 konvertiert, 3 fehlgeschlagen")),
             qPrintable(result.err));
}

// Names are bytes here: the test itself does not decode them.
void tst_Cli::fileNames_data()
{
    QTest::addColumn<QByteArray>("source"); // written into names/ unless empty
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("report"); // expected in names/ unless empty
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode"); // the report's, unless 0
    QTest::addColumn<QString>("error"); // part of stderr

    const QStringList names {QStringLiteral("names")};
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTest::newRow("Latin-1 name") << QByteArray("Pr\xfc"
                                                "fstand.json")
                                  << names << 0
                                  << QByteArray("Pr\xfc"
                                                "fstand.pdf")
                                  << 022 << 0644 << "1 konvertiert, 0 fehlgeschlagen";
#else
    QTest::newRow("Latin-1 name") << QByteArray("Pr\xfc"
                                                "fstand.json")
                                  << names << 1 << QByteArray() << 022 << 0
                                  << "kein gültiges UTF-8";
#endif
    QTest::newRow("name of 255 bytes")
            << QByteArray(250, 'a') + ".json" << names << 0 << QByteArray(250, 'a') + ".pdf" << 022
            << 0 << "1 konvertiert";
    QTest::newRow("umask 077") << QByteArray("privat.json") << names << 0
                               << QByteArray("privat.pdf") << 077 << 0600 << QString();
    QTest::newRow("dangling link")
            << QByteArray() << names << 1 << QByteArray() << 022 << 0 << "ins Leere";
    QTest::newRow("folder again through a link")
            << QByteArray("eins.json") << QStringList {"names", "again"} << 0
            << QByteArray("eins.pdf") << 022 << 0 << "1 konvertiert, 0 fehlgeschlagen";
}

void tst_Cli::fileNames()
{
#ifndef Q_OS_UNIX
    QSKIP("file names as bytes and the umask are Unix matters");
#else
    QFETCH(QByteArray, source);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, report);
    QFETCH(int, umask);
    QFETCH(int, mode);
    QFETCH(QString, error);

    QDir(m_dir->path()).mkpath(QStringLiteral("names"));
    const QByteArray folder = QFile::encodeName(m_dir->filePath(QStringLiteral("names/")));
    QVERIFY(::symlink("names", QFile::encodeName(m_dir->filePath(QStringLiteral("again")))) == 0);
    if (source.isEmpty()) {
        QVERIFY(::symlink("nowhere.json", folder + "dangling.json") == 0);
    } else {
        FILE *file = std::fopen((folder + source).constData(), "wb");
        QVERIFY(file);
        std::fwrite(Valid.constData(), 1, size_t(Valid.size()), file);
        std::fclose(file);
    }

    // The folder's own clean-up cannot name what is not UTF-8.
    const auto removeRaw = qScopeGuard([&] {
        ::unlink((folder + source).constData());
        ::unlink((folder + report).constData());
    });
    const mode_t before = ::umask(mode_t(umask));
    const Result result = runCli(arguments, m_dir->path());
    ::umask(before);

    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(error), qPrintable(result.err));
    struct stat info;
    if (!report.isEmpty()) {
        QVERIFY2(::stat((folder + report).constData(), &info) == 0, report.constData());
        if (mode != 0)
            QCOMPARE(int(info.st_mode & 0777), mode);
    }
#endif
}

namespace {

// Whether the process catches SIGTERM yet, as /proc tells.
bool catchesTerm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGTERM - 1));
    }
    return false;
}

} // namespace

// A temporary folder too small for the volumes: the cause named once, in
// German, every device counted as failed, no document.
void tst_Cli::fullTemporaryFolder()
{
    // A small tmpfs of its own, mounted in a namespace of the test's.
    if (QProcess::execute(QStringLiteral("unshare"),
                          {QStringLiteral("-Urm"), QStringLiteral("true")})
        != 0)
        QSKIP("no mount namespace to mount a small tmpfs in");
    const QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("site"));
    dir.mkpath(QStringLiteral("tmp"));
    for (int i = 0; i < 10; ++i)
        QFile::copy(QStringLiteral(EXAMPLES_DIR "/typical.json"),
                    dir.filePath(QStringLiteral("site/%1.json").arg(i)));
    QProcess run;
    run.setWorkingDirectory(dir.path());
    run.start(QStringLiteral("unshare"),
              {QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"),
               QStringLiteral("mount -t tmpfs -o size=64k tmpfs tmp && TMPDIR=$PWD/tmp "
                              "QT_QPA_PLATFORM=offscreen exec \"$0\" -c anlage.pdf site"),
               QStringLiteral(CLI_PATH)});
    QVERIFY(run.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());

    QCOMPARE(run.exitCode(), 1);
    // The cause told once a stage (the volumes, the store, the document),
    // never once a device.
    QVERIFY2(err.count(QLatin1Char('\n')) <= 4 && err.contains(QStringLiteral("ist voll.")),
             qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("Geräte fehlen deshalb im Gesamtdokument")),
             qPrintable(err));
    QVERIFY2(err.endsWith(QStringLiteral("0 konvertiert, 10 fehlgeschlagen\n")), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("WARNING")), qPrintable(err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("anlage.pdf"))));
}

void tst_Cli::interruptedLeavesNothing_data()
{
    QTest::addColumn<bool>("atStart"); // while Qt is still being set up
    QTest::addColumn<QStringList>("options");
    QTest::newRow("in the middle") << false << QStringList();
    QTest::newRow("at the start") << true << QStringList();
    QTest::newRow("combined, in the middle") << false << QStringList {"-c", "anlage.pdf"};
}

// SIGTERM in the middle of a batch, or as soon as the program can catch it:
// a quick end with the summary, complete reports only, and no temporary file.
void tst_Cli::interruptedLeavesNothing()
{
#ifndef Q_OS_UNIX
    QSKIP("needs SIGTERM");
#else
    QDir dir(m_dir->path());
    dir.mkpath(QStringLiteral("batch"));
    const QString large = QDir(QStringLiteral(EXAMPLES_DIR)).filePath(QStringLiteral("large.json"));
    for (int i = 0; i < 200; ++i)
        QFile::copy(large, dir.filePath(QStringLiteral("batch/cfg_%1.json").arg(i)));

    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    QFETCH(bool, atStart);
    QFETCH(QStringList, options);
    if (!options.isEmpty()) {
        // A combined run prints nothing until its end but the failures: one
        // comes first.
        writeFile(dir.filePath(QStringLiteral("batch/cfg_!.json")), "{");
        process.setReadChannel(QProcess::StandardError);
    }
    process.start(QStringLiteral(CLI_PATH), options + QStringList {QStringLiteral("batch")});
    if (atStart) {
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(process.processId()), 10000);
    } else {
        QVERIFY(process.waitForReadyRead(60000));
    }
    process.terminate();
    QVERIFY(process.waitForFinished(10000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 143);
    QVERIFY(process.readAllStandardError().contains("konvertiert,"));
    // No combined document, whole or in part, next to the batch.
    for (const QString &name : filesIn(dir.path()))
        QVERIFY2(!name.contains(QLatin1String("anlage")), qPrintable(name));
    const QStringList left = filesIn(dir.filePath(QStringLiteral("batch")));
    QVERIFY(left.size() < 400);
    for (const QString &name : left) {
        QVERIFY2(name.startsWith(QLatin1String("cfg_")), qPrintable(name));
        if (name.endsWith(QLatin1String(".pdf")))
            QVERIFY2(readFile(dir.filePath(QStringLiteral("batch/") + name))
                             .trimmed()
                             .endsWith("%%EOF"),
                     qPrintable(name));
        else
            QVERIFY2(name.endsWith(QLatin1String(".json")), qPrintable(name));
    }
#endif
}

// A report needs no printer: a print server that takes the connection and
// never answers held two files for minutes when reports still asked it for
// the default printer. The kernel accepts for the listener, which never
// reads.
void tst_Cli::silentPrintServer()
{
    constexpr int HangLimitMs = 30000;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    qputenv("CUPS_SERVER", "127.0.0.1:" + QByteArray::number(silent.serverPort()));
    QProcess process;
    startCli(process, {QStringLiteral("good.json"), QStringLiteral("other.json")}, m_dir->path());
    const bool ended = process.waitForFinished(HangLimitMs);
    qunsetenv("CUPS_SERVER");
    QVERIFY2(ended, "the converter waits for the print server");
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(pdfsBelow(m_dir->path()), QStringList({"good.pdf", "other.pdf"}));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
