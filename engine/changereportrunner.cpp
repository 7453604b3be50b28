#include "engine/changereportrunner.h"

#include "system/threadhandoff.h"

#include <QCoreApplication>
#include <QRunnable>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>
#include <utility>

// How many work items are out, for waiting on them. The standard library's
// lock, not Qt's: a ThreadSanitizer build sees it.
struct ChangeReportRunner::Running
{
    std::mutex mutex;
    std::condition_variable ended;
    int items = 0;
};

namespace {

// A work item of the pool, told to ThreadSanitizer as a hand-off.
class WorkRunnable : public QRunnable
{
public:
    explicit WorkRunnable(std::function<void()> work)
        : m_work(std::move(work))
    { }

    void run() override
    {
        ThreadHandOff::acquire(this);
        std::exchange(m_work, nullptr)();
    }

private:
    std::function<void()> m_work;
};

// One change report out of the runner's hands. It tells its end (or, gone
// unrun, that it was dropped) before it stops counting as out, so the
// runner, which waits for that count, is there to be told.
class ChangeReportItem
{
public:
    ChangeReportItem(const ChangeReportJob &job, bool archival,
                     std::function<void(const ChangeReportOutcome &, bool dropped)> tell,
                     std::function<void()> done)
        : m_job(job)
        , m_archival(archival)
        , m_tell(std::move(tell))
        , m_done(std::move(done))
    { }

    ~ChangeReportItem()
    {
        if (!m_ran) {
            ChangeReportOutcome dropped;
            dropped.reason = ChangeReport::tr("Die Dateien %1 und %2 wurden nicht verglichen: der "
                                              "Vergleich wurde abgebrochen.")
                                     .arg(m_job.before, m_job.after);
            m_tell(dropped, true);
        }
        m_done();
    }

    void run()
    {
        m_ran = true;
        m_tell(writeChangeReport(m_job, m_archival), false);
    }

private:
    Q_DISABLE_COPY(ChangeReportItem)

    ChangeReportJob m_job;
    bool m_archival;
    bool m_ran = false;
    std::function<void(const ChangeReportOutcome &, bool)> m_tell;
    std::function<void()> m_done;
};

} // namespace

ChangeReportRunner::ChangeReportRunner(QObject *parent)
    : QObject(parent)
    , m_running(std::make_shared<Running>())
{
    qRegisterMetaType<ChangeReportJob>();
    qRegisterMetaType<ChangeReportOutcome>();
}

ChangeReportRunner::~ChangeReportRunner()
{
    waitForAll();
}

void ChangeReportRunner::setStarter(Starter starter)
{
    m_start = std::move(starter);
}

void ChangeReportRunner::start(const ChangeReportJob &job)
{
    ++m_pending;
    {
        const std::lock_guard<std::mutex> lock(m_running->mutex);
        ++m_running->items;
    }
    const auto report = [this, job](const ChangeReportOutcome &outcome, bool dropped) {
        ThreadHandOff::release(this);
        QMetaObject::invokeMethod(
                this,
                [this, job, outcome, dropped] {
                    ThreadHandOff::acquire(this);
                    tell(job, outcome, dropped);
                },
                Qt::QueuedConnection);
    };
    const auto done = [running = m_running] {
        const std::lock_guard<std::mutex> lock(running->mutex);
        --running->items;
        running->ended.notify_all();
    };
    const auto item = std::make_shared<ChangeReportItem>(job, m_archival, report, done);
    const std::function<void()> work = [item] { item->run(); };
    if (m_start) {
        m_start(work);
        return;
    }
    auto *runnable = new WorkRunnable(work);
    ThreadHandOff::release(runnable);
    QThreadPool::globalInstance()->start(runnable);
}

void ChangeReportRunner::stop()
{
    QThreadPool::globalInstance()->clear();
    waitForAll();
    // How they ended, before anything else is told.
    QCoreApplication::sendPostedEvents(this);
}

void ChangeReportRunner::waitForAll()
{
    std::unique_lock<std::mutex> lock(m_running->mutex);
    m_running->ended.wait(lock, [this] { return m_running->items == 0; });
}

void ChangeReportRunner::tell(const ChangeReportJob &job, const ChangeReportOutcome &outcome,
                              bool dropped)
{
    --m_pending;
    if (dropped)
        ++m_dropped;
    else if (outcome.written)
        ++m_written;
    else
        ++m_failed;
    if (!dropped)
        emit ended(job, outcome);
    if (m_pending == 0)
        emit settled();
}
