#include "engine/changereportrunner.h"
#include "engine/conversionqueue.h"
#include "engine/convert.h"
#include "report/reportvolume.h"
#include "testfiles.h"
#include "testfolder.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

// What runs when, for whom: the queue's rules with tasks that run only when
// a test row says they end.
class tst_ConversionQueue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rules_data();
    void rules();
    void reportIdentity_data();
    void reportIdentity();
    void changeReportsEndOnce();
};

namespace {

// A volume the queue only hands on; these tasks never draw.
class UnusedVolume : public ReportVolume
{
public:
    bool beginReport(QString *) override { return false; }
    QPainter *painter() const override { return nullptr; }
    QPdfWriter *writer() const override { return nullptr; }
    void endReport(const QString &, int) override { }
    void close() override { }
};

} // namespace

void tst_ConversionQueue::initTestCase()
{
    convert::initialise();
}

void tst_ConversionQueue::rules_data()
{
    // Steps, one after the other: "add NAME" queues a job for the report
    // NAME.pdf ("add NAME!" a refused one, "add NAME@v" one drawn into the
    // volume v; several names are added together), "withdraw N" the N-th job added, "end N" / "fail
    // N" ends the N-th task handed to the pool.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("limit"); // work items at once, 0 for none
    QTest::addColumn<QString>("items"); // the tasks handed to the pool, by work item
    QTest::addColumn<QString>("counts"); // started ended converted failed

    QTest::newRow("other reports start at once")
            << QStringList {"add a", "add b", "end 2"} << 0 << "1 2"
            << "2 1 1 0";
    QTest::newRow("the same report waits for the earlier task")
            << QStringList {"add a", "add a", "fail 1"} << 0 << "1 2"
            << "2 1 0 1";
    QTest::newRow("through a folder link it is the same report")
            << QStringList {"add a", "add link/a"} << 0 << "1"
            << "2 0 0 0";
    QTest::newRow("a withdrawn waiting job never starts")
            << QStringList {"add a", "add a", "withdraw 2", "end 1"} << 0 << "1"
            << "1 1 1 0";
    QTest::newRow("a withdrawn running job still holds its report")
            << QStringList {"add a", "withdraw 1", "add a"} << 0 << "1"
            << "1 0 0 0";
    QTest::newRow("... until its task ends, uncounted")
            << QStringList {"add a", "withdraw 1", "add a", "end 1", "end 2"} << 0 << "1 2"
            << "1 1 1 0";
    QTest::newRow("a refused job fails without a task")
            << QStringList {"add a!", "add b"} << 0 << "1"
            << "2 1 0 1";
    QTest::newRow("no more items at once than the limit")
            << QStringList {"add a", "add b", "add c", "end 1"} << 2 << "1 2 3"
            << "3 1 1 0";
    QTest::newRow("a volume's jobs are one item")
            << QStringList {"add a@v b@v c@w d"} << 2 << "1+2 3"
            << "4 0 0 0";
}

void tst_ConversionQueue::rules()
{
    QFETCH(QStringList, steps);
    QFETCH(int, limit);
    QFETCH(QString, items);
    QFETCH(QString, counts);

    TestFolder dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")),
                        dir.filePath(QStringLiteral("link"))));
    QHash<QString, std::shared_ptr<ReportVolume>> volumes;
    QHash<quint64, convert *> tasks;
    QStringList handed;
    ConversionQueue queue;
    queue.setMaxInFlight(limit);
    queue.setStarter(
            [&](const QVector<convert::Conversion> &conversions, const std::function<void()> &) {
                QStringList item;
                for (const convert::Conversion &conversion : conversions) {
                    tasks.insert(quint64(tasks.size() + 1), conversion.task);
                    item.append(QString::number(tasks.size()));
                }
                handed.append(item.join(QLatin1Char('+')));
            });
    QSignalSpy settled(&queue, &ConversionQueue::settled);

    QHash<QString, quint64> ids; // by the job's number in the steps
    for (const QString &step : qAsConst(steps)) {
        const QString what = step.section(QLatin1Char(' '), 0, 0);
        QString arg = step.section(QLatin1Char(' '), 1);
        if (what == QLatin1String("add")) {
            QVector<ConversionJob> jobs;
            for (QString name : arg.split(QLatin1Char(' '))) {
                ConversionJob job;
                if (name.endsWith(QLatin1Char('!'))) {
                    name.chop(1);
                    job.refusal = QStringLiteral("abgelehnt");
                }
                const QString volume = name.section(QLatin1Char('@'), 1);
                if (!volume.isEmpty()) {
                    std::shared_ptr<ReportVolume> &shared = volumes[volume];
                    if (!shared)
                        shared = std::make_shared<UnusedVolume>();
                    job.volume = shared;
                }
                name = QStringLiteral("real/") + name.section(QLatin1Char('@'), 0, 0);
                name.replace(QStringLiteral("real/link/"), QStringLiteral("link/"));
                job.source = dir.filePath(name + QLatin1String(".json"));
                job.target = dir.filePath(name + QLatin1String(".pdf"));
                jobs.append(job);
            }
            if (jobs.size() == 1)
                ids.insert(QString::number(ids.size() + 1), queue.add(jobs.first()));
            else
                queue.add(jobs);
            settled.clear(); // told again only once these have ended
        } else if (what == QLatin1String("withdraw")) {
            QVERIFY(queue.withdraw(ids.value(arg)));
        } else {
            convert *task = tasks.value(arg.toULongLong());
            QVERIFY2(task, qPrintable(step));
            if (what == QLatin1String("end"))
                emit task->finished();
            else
                emit task->aborted();
        }
    }
    QCoreApplication::processEvents(); // refusals are told from the event loop

    QCOMPARE(handed.join(QLatin1Char(' ')), items);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                     .arg(queue.startedCount())
                     .arg(queue.endedCount())
                     .arg(queue.convertedCount())
                     .arg(queue.failedCount()),
             counts);
    QCOMPARE(!settled.isEmpty(), queue.isSettled());
}

void tst_ConversionQueue::reportIdentity_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("same");

    QTest::newRow("the same path") << "real/a.pdf"
                                   << "real/a.pdf" << true;
    QTest::newRow("with ..") << "real/x/../a.pdf"
                             << "real/a.pdf" << true;
    QTest::newRow("through a folder link") << "link/a.pdf"
                                           << "real/a.pdf" << true;
    QTest::newRow("below a folder still missing") << "link/neu/a.pdf"
                                                  << "real/neu/a.pdf" << true;
    QTest::newRow("a linked file is a report of its own") << "real/b.pdf"
                                                          << "real/a.pdf" << false;
    QTest::newRow("another name") << "real/a.pdf"
                                  << "real/A.pdf" << false;
}

void tst_ConversionQueue::reportIdentity()
{
    QFETCH(QString, path);
    QFETCH(QString, other);
    QFETCH(bool, same);

    TestFolder dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")),
                        dir.filePath(QStringLiteral("link"))));
    writeFile(dir.filePath(QStringLiteral("real/a.pdf")), "%PDF-1.4 stand-in");
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("real/a.pdf")),
                        dir.filePath(QStringLiteral("real/b.pdf"))));
    QCOMPARE(ConversionQueue::reportIdentity(dir.filePath(path))
                     == ConversionQueue::reportIdentity(dir.filePath(other)),
             same);
}

// Each change report handed out is told of once: written or failed when its
// work ran (on another thread), only counted when it was dropped unrun; the
// runner is settled once all are.
void tst_ConversionQueue::changeReportsEndOnce()
{
    TestFolder dir;
    const QString earlier = writeFile(dir.filePath(QStringLiteral("vorher.json")),
                                      configuration(R"("name": "Abluft", "altitude": 310)"));
    const QString later = writeFile(dir.filePath(QStringLiteral("nachher.json")),
                                    configuration(R"("name": "Abluft", "altitude": 320)"));
    ChangeReportRunner runner;
    QList<std::function<void()>> works;
    runner.setStarter([&](const std::function<void()> &work) { works << work; });
    QSignalSpy ended(&runner, &ChangeReportRunner::ended);
    QSignalSpy settled(&runner, &ChangeReportRunner::settled);
    const QString target = dir.filePath(QStringLiteral("nachher-aenderungen.pdf"));
    runner.start({earlier, later, target});
    runner.start({earlier, dir.filePath(QStringLiteral("fehlt.json")), target});
    runner.start({earlier, later, dir.filePath(QStringLiteral("nie.pdf"))});
    QCOMPARE(works.size(), 3);
    works.removeLast(); // dropped unrun
    for (const std::function<void()> &work : qAsConst(works)) {
        const std::unique_ptr<QThread> thread(QThread::create(work));
        thread->start();
        QVERIFY(thread->wait(60000));
    }
    works.clear();

    QTRY_COMPARE(settled.size(), 1);
    QCOMPARE(ended.size(), 2);
    const auto outcome = [&](int i) { return ended.at(i).at(1).value<ChangeReportOutcome>(); };
    QCOMPARE(outcome(0).written, true);
    QCOMPARE(outcome(0).changes, 1);
    QCOMPARE(outcome(1).written, false);
    QVERIFY2(outcome(1).reason.contains(QStringLiteral("fehlt.json existiert nicht")),
             qPrintable(outcome(1).reason));
    QCOMPARE(runner.writtenCount(), 1);
    QCOMPARE(runner.failedCount(), 1);
    QCOMPARE(runner.droppedCount(), 1);
    QVERIFY(QFile::exists(target));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nie.pdf"))));
}

QTEST_MAIN(tst_ConversionQueue)
#include "tst_conversionqueue.moc"
