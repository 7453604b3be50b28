#include "testfiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The command-line converter as a script sees it: exit status, messages and
// the files it leaves.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void exitStatus_data();
    void exitStatus();
};

namespace {

const QByteArray Valid = configuration(R"("name": "Halle 3", "date": "01.02.2026 08:00")");

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result runCli(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM")); // the converter chooses offscreen itself
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PATH), arguments);
    Result result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

} // namespace

void tst_Cli::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("written"); // PDFs that must exist afterwards
    QTest::addColumn<QString>("error"); // part of stderr

    QTest::newRow("one good file")
            << QStringList {"good.json"} << 0 << QStringList {"good.pdf"} << QString();
    QTest::newRow("two good files") << QStringList {"good.json", "other.json"} << 0
                                    << QStringList {"good.pdf", "other.pdf"} << QString();
    QTest::newRow("invalid file") << QStringList {"broken.json"} << 1 << QStringList()
                                  << "broken.json";
    QTest::newRow("empty file") << QStringList {"empty.json"} << 1 << QStringList() << "empty.json";
    QTest::newRow("suffix in capitals")
            << QStringList {"upper.JSON"} << 1 << QStringList() << "upper.JSON";
    QTest::newRow("missing file") << QStringList {"none.json"} << 1 << QStringList() << "none.json";
    QTest::newRow("bad among good") << QStringList {"good.json", "broken.json", "other.json"} << 1
                                    << QStringList {"good.pdf", "other.pdf"} << "broken.json";
    QTest::newRow("no arguments") << QStringList() << 2 << QStringList() << "DATEI.json";
    QTest::newRow("unknown option")
            << QStringList {"--frobnicate", "good.json"} << 2 << QStringList() << "frobnicate";
    QTest::newRow("help") << QStringList {"--help"} << 0 << QStringList() << QString();
}

void tst_Cli::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, written);
    QFETCH(QString, error);

    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("good.json")), Valid);
    writeFile(dir.filePath(QStringLiteral("other.json")), Valid);
    writeFile(dir.filePath(QStringLiteral("upper.JSON")), Valid);
    writeFile(dir.filePath(QStringLiteral("broken.json")), "{\"configuration\": ");
    writeFile(dir.filePath(QStringLiteral("empty.json")), QByteArray());

    const Result result = runCli(arguments, dir.path());

    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(error), qPrintable(result.err));
    if (exitCode == 0 && !written.isEmpty())
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    const QStringList pdfs
            = filesIn(dir.path()).filter(QRegularExpression(QStringLiteral("\\.pdf$|\\.part$")));
    written.sort();
    QCOMPARE(pdfs, written);
    for (const QString &pdf : qAsConst(written))
        QVERIFY2(result.out.contains(dir.filePath(pdf)), qPrintable(result.out));
    if (arguments == QStringList {QStringLiteral("--help")})
        QVERIFY(result.out.contains(QStringLiteral("DATEI.json")));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
