#include "conversionrun.h"
#include "engine/convert.h"
#include "testfolder.h"

#include <QDirIterator>
#include <QtTest>

// Replays the fuzzing seeds and every input that once broke a conversion:
// each must end with exactly one of finished() or aborted().
class tst_Regressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replay_data();
    void replay();

private:
    TestFolder m_dir;
};

void tst_Regressions::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
}

void tst_Regressions::replay_data()
{
    QTest::addColumn<QString>("input");
    for (const char *folder : {"corpus", "regressions"}) {
        QDirIterator it(QStringLiteral(FUZZ_DIR "/") + QLatin1String(folder), QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            if (!file.endsWith(QLatin1String(".keep")))
                QTest::newRow(qPrintable(QLatin1String(folder) + QLatin1Char('/')
                                         + QFileInfo(file).fileName()))
                        << file;
        }
    }
}

void tst_Regressions::replay()
{
    QFETCH(QString, input);
    // Fuzzer findings carry no ".json" of their own.
    const QString source = m_dir.filePath(QStringLiteral("input.json"));
    QFile::remove(source);
    QVERIFY(QFile::copy(input, source));

    const ConversionRun run = runConversion(source, m_dir.filePath(QStringLiteral("report.pdf")));
    QCOMPARE(run.finished + run.aborted, 1);
}

QTEST_MAIN(tst_Regressions)
#include "tst_regressions.moc"
