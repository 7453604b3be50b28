#include <QRunnable>
#include <QThreadPool>
#include <QtTest>

#include <thread>

// Races on purpose. Built only with ThreadSanitizer, where the suite expects
// a report from each function, run one at a time: proof that the sanitizer
// really watches, also inside pool tasks like the conversions, with the
// suppressions and hand-offs of the other tests in place.
class tst_TsanCanary : public QObject
{
    Q_OBJECT

private slots:
    void threadsRace();
    void poolTasksRace();
};

namespace {

// Not atomic, not locked: two threads write it.
int counter = 0;

void count()
{
    for (int i = 0; i < 100000; ++i)
        counter = counter + 1;
}

} // namespace

void tst_TsanCanary::threadsRace()
{
    std::thread first(count);
    std::thread second(count);
    first.join();
    second.join();
    QVERIFY(counter > 0);
}

void tst_TsanCanary::poolTasksRace()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    for (int i = 0; i < 2; ++i)
        pool.start(QRunnable::create(count));
    pool.waitForDone();
    QVERIFY(counter > 0);
}

QTEST_GUILESS_MAIN(tst_TsanCanary)
#include "tst_tsancanary.moc"
