#include "conversionrun.h"
#include "engine/conversionpool.h"
#include "engine/convert.h"
#include "pdfreport.h"
#include "system/reportfile.h"
#include "testfolder.h"

#include <QThreadPool>
#include <QtTest>

// Many conversions at once through the pool: all end, all as one alone. Built
// to be run under ThreadSanitizer too, where the threads really overlap.
class tst_Stress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void manyAtOnce_data();
    void manyAtOnce();

private:
    QStringList m_examples;
    QHash<QString, QStringList> m_expected;
    TestFolder m_dir;
};

void tst_Stress::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
    const QDir examples(QStringLiteral(EXAMPLES_DIR));
    for (const QString &name : examples.entryList({QStringLiteral("*.json")}, QDir::Files))
        m_examples.append(examples.filePath(name));
    QVERIFY(!m_examples.isEmpty());

    // The reference: each example converted alone, on this thread.
    for (const QString &source : qAsConst(m_examples)) {
        const QString pdf
                = m_dir.filePath(QFileInfo(source).baseName() + QLatin1String("-ref.pdf"));
        QCOMPARE(runConversion(source, pdf).finished, 1);
        m_expected.insert(source, PdfReport(pdf).texts());
    }
}

void tst_Stress::cleanup()
{
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
}

void tst_Stress::manyAtOnce_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("conversions");
    QTest::addColumn<int>("rounds");

    QTest::newRow("one thread") << 1 << 8 << 1;
    QTest::newRow("32 threads, 32 at once, 4 rounds") << 32 << 32 << 4;
    QTest::newRow("8 threads, 64 queued") << 8 << 64 << 2;
}

void tst_Stress::manyAtOnce()
{
    QFETCH(int, threads);
    QFETCH(int, conversions);
    QFETCH(int, rounds);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);

    for (int round = 0; round < rounds; ++round) {
        int finished = 0;
        QStringList reasons;
        QHash<QString, QString> sourceOf;
        ConversionPool pool;
        for (int i = 0; i < conversions; ++i) {
            const QString source = m_examples.at(i % m_examples.size());
            const QString pdf = m_dir.filePath(
                    QStringLiteral("%1-%2-%3.pdf").arg(QTest::currentDataTag()).arg(round).arg(i));
            sourceOf.insert(pdf, source);
            auto *task = new convert;
            connect(task, &convert::finished, this, [&finished] { ++finished; });
            connect(task, &convert::abortReason, this,
                    [&reasons](const QString &reason) { reasons.append(reason); });
            pool.start(task, source, pdf);
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished + reasons.size(), conversions, 300000);
        QVERIFY2(reasons.isEmpty(), qPrintable(reasons.join(QLatin1Char('\n'))));
        pool.waitForAll();

        for (auto it = sourceOf.cbegin(); it != sourceOf.cend(); ++it) {
            QVERIFY2(ReportFile::isCompletePdf(it.key()), qPrintable(it.key()));
            QCOMPARE(PdfReport(it.key()).texts(), m_expected.value(it.value()));
        }
    }
}

QTEST_MAIN(tst_Stress)
#include "tst_stress.moc"
