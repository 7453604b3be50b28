#include "engine/convert.h"
#include "report/reportlogo.h"

#include <QTemporaryDir>
#include <QtTest>

// One whole conversion in process (read, parse, draw, write, verify, move),
// for the shipped typical and large configurations, as ordinary and as
// PDF/A-1b reports (--pdfa), with the logo's JPEG from the build as the
// converter writes them.
//   build/bench/bench_convert            wall time per conversion
//   build/bench/bench_convert -callgrind instruction counts (under valgrind)
class bench_Convert : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversion_data();
    void conversion();

private:
    QTemporaryDir m_dir;
};

void bench_Convert::initTestCase()
{
    QVERIFY(m_dir.isValid());
    convert::initialise();
    ReportLogo::useBuiltJpeg();
}

void bench_Convert::conversion_data()
{
    QTest::addColumn<QString>("example");
    QTest::addColumn<bool>("archival");
    QTest::newRow("typical") << "typical.json" << false;
    QTest::newRow("typical, PDF/A") << "typical.json" << true;
    QTest::newRow("large (14 pages)") << "large.json" << false;
    QTest::newRow("large (14 pages), PDF/A") << "large.json" << true;
}

void bench_Convert::conversion()
{
    QFETCH(QString, example);
    QFETCH(bool, archival);
    const QString source = QDir(QStringLiteral(EXAMPLES_DIR)).filePath(example);
    const QString target = m_dir.filePath(QStringLiteral("report.pdf"));
    QBENCHMARK
    {
        convert task;
        task.setArchival(archival);
        QSignalSpy finished(&task, &convert::finished);
        task.run(source, target);
        QCOMPARE(finished.count(), 1);
    }
}

QTEST_MAIN(bench_Convert)
#include "bench_convert.moc"
