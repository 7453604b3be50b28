#include "cli/converterapp.h"

#include "cli/batchconverter.h"
#include "cli/console.h"
#include "cli/folderwatcher.h"
#include "cli/joblist.h"

#include "engine/changereportrunner.h"
#include "engine/conversionqueue.h"
#include "engine/convert.h"
#include "sitedoc/sitereport.h"
#include "system/stopsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

namespace {

using Console::text;

QtMessageHandler defaultHandler = nullptr;

// Qt's own notes and warnings are English and meant for developers (the
// missing XDG_RUNTIME_DIR under cron, a PDF writer that could not open a file);
// every failure a user must know of is reported in German by the converter.
// BELMORAND_DEBUG=1 lets them through.
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool serious = type == QtCriticalMsg || type == QtFatalMsg;
    if (!serious && !qEnvironmentVariableIsSet("BELMORAND_DEBUG"))
        return;
    if (defaultHandler)
        defaultHandler(type, context, message);
}

} // namespace

void ConverterApp::filterQtMessages()
{
    defaultHandler = qInstallMessageHandler(filterMessages);
}

int ConverterApp::run(const QStringList &arguments)
{
    ConverterOptions options;
    switch (readCommandLine(arguments, &options)) {
    case CommandLineReading::Answered:
        return int(ExitCode::AllConverted);
    case CommandLineReading::Refused:
        return int(ExitCode::UsageError);
    case CommandLineReading::Run:
        break;
    }
    prepare(options);
    // Each run's converter collects its tasks when it goes.
    ConverterApp app(options);
    if (options.compare)
        return app.runCompare();
    return options.watch ? app.runWatch() : app.runBatch();
}

ConverterApp::ConverterApp(const ConverterOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{ }

void ConverterApp::prepare(const ConverterOptions &options)
{
    QThreadPool::globalInstance()->setMaxThreadCount(
            options.jobs > 0 ? options.jobs : ConverterOptions::defaultJobs());
    ConversionQueue::prepareProcess(ConversionQueue::LogoJpeg::FromBuild);
}

ConsoleOptions ConverterApp::consoleOptions() const
{
    ConsoleOptions console;
    console.listReports = !m_options.quiet;
    console.showProgress = !m_options.quiet && Console::errorIsTerminal();
    return console;
}

void ConverterApp::finish(ExitCode code)
{
    QCoreApplication::exit(int(code));
}

void ConverterApp::printSummary(const Tally &tally, const QString &more) const
{
    if (m_options.quiet)
        return;
    const char *summary = m_options.compare ? "%1 verglichen, %2 fehlgeschlagen"
                                            : "%1 konvertiert, %2 fehlgeschlagen";
    Console::printStatus(text(summary).arg(tally.converted).arg(tally.failed + m_unread) + more);
}

// Interrupted: running conversions end without a report, the others never
// begin, and the summary still comes.
void ConverterApp::stopNow(int signal, const Work &work)
{
    convert::requestStop();
    work.stop();
    const Tally tally = work.tally();
    Console::printError(text("abgebrochen (%1); %2 Dateien wurden nicht mehr begonnen")
                                .arg(StopSignals::name(signal))
                                .arg(tally.notStarted));
    printSummary(tally);
    QCoreApplication::exit(StopSignals::exitStatus(signal));
}

// Runs the event loop until the work ends or a stop signal ends it; the
// work begins unless a signal came during the start-up.
int ConverterApp::runStoppable(const Work &work)
{
    StopSignals stopSignals;
    int stoppedBy = 0;
    connect(&stopSignals, &StopSignals::received, this, [&](int signal) {
        stoppedBy = signal;
        stopNow(signal, work);
    });
    stopSignals.deliverPending();
    if (stoppedBy)
        return StopSignals::exitStatus(stoppedBy);
    work.start();
    return QCoreApplication::exec();
}

ConverterApp::Work ConverterApp::workOf(BatchConverter *converter,
                                        const std::function<void()> &start)
{
    return {start, [converter] { converter->stop(); },
            [converter] {
                return Tally {converter->convertedCount(), converter->failedCount(),
                              converter->notStartedCount()};
            }};
}

int ConverterApp::runBatch()
{
    FolderFindings findings;
    const QStringList files = expandPaths(m_options.paths, m_options.recursive, &findings);
    for (const QString &folder : qAsConst(findings.empty))
        // Nothing to do is no failure, as for make.
        Console::printNote(
                text("im Ordner %1 liegt keine Datei auf \".json\"; nichts zu tun").arg(folder));
    for (const QString &problem : qAsConst(findings.unreadable))
        Console::printError(problem);

    m_unread = int(findings.unreadable.size());
    if (!m_options.combine.isEmpty())
        return runCombine(files);

    BatchConverter converter(consoleOptions());
    converter.setArchival(m_options.archival);
    int current = 0;
    const QVector<ConversionJob> jobs
            = makeJobs(files, m_options.targets, m_options.update ? &current : nullptr);
    const Work work = workOf(&converter, [&] { converter.start(jobs); });
    connect(&converter, &BatchConverter::done, this, [&] {
        printSummary(work.tally(),
                     m_options.update ? text(", %1 schon aktuell").arg(current) : QString());
        finish(converter.failedCount() + m_unread > 0 ? ExitCode::SomeFailed
                                                      : ExitCode::AllConverted);
    });
    return runStoppable(work);
}

// Every file's report in one document; a file that fails is left out of it.
int ConverterApp::runCombine(const QStringList &files)
{
    return runSiteReport([&files](SiteReport &site) { site.start(files); });
}

int ConverterApp::runSiteReport(const std::function<void(SiteReport &)> &begin)
{
    SiteReport site(QDir::cleanPath(QFileInfo(m_options.combine).absoluteFilePath()),
                    m_options.title, m_options.archival);
    QString reason;
    if (!site.reserve(&reason)) {
        Console::printError(reason);
        return int(ExitCode::SomeFailed);
    }
    showSiteReport(&site);
    const Work work {
            [&] { begin(site); }, [&] { site.stop(); },
            [&] {
                return Tally {site.convertedCount(), site.failedCount(), site.notStartedCount()};
            }};
    connect(&site, &SiteReport::done, this, [&] {
        printSummary(work.tally());
        const bool complete = site.isWritten() && site.failedCount() + m_unread == 0;
        finish(complete ? ExitCode::AllConverted : ExitCode::SomeFailed);
    });
    return runStoppable(work);
}

// The site report's news on the console, as a batch tells of its reports:
// the reasons of files left out, the progress, the document.
void ConverterApp::showSiteReport(SiteReport *site)
{
    const ConsoleOptions console = consoleOptions();
    connect(site, &SiteReport::deviceLeftOut, this,
            [](const QString &, const QString &reason) { Console::printError(reason); });
    connect(site, &SiteReport::devicesLost, this,
            [](const QString &message) { Console::printError(message); });
    if (console.showProgress) {
        connect(site, &SiteReport::deviceDone, this,
                [](const QString &source, int done, int total) {
                    Console::printStatus(
                            QStringLiteral("[%1/%2] %3")
                                    .arg(done)
                                    .arg(total)
                                    .arg(Console::oneLine(QFileInfo(source).fileName())));
                });
    }
    connect(site, &SiteReport::failed, this, &Console::printError);
    if (console.listReports)
        connect(site, &SiteReport::written, this, &Console::printReport);
}

// Runs until stopped; a progress count would never end, so there is none.
int ConverterApp::runWatch()
{
    ConsoleOptions console = consoleOptions();
    console.showProgress = false;
    BatchConverter converter(console);
    converter.setArchival(m_options.archival);
    FolderWatcher watcher(&converter, m_options.targets, m_options.recursive);
    watcher.setPollInterval(m_options.pollSeconds);
    bool foldersGone = false;
    connect(&watcher, &FolderWatcher::foldersGone, this, [&] {
        // Nothing left to watch: what was begun still ends.
        foldersGone = true;
        watcher.stop();
        converter.dropQueued();
    });
    Work work = workOf(&converter, [&] { watcher.start(m_options.paths); });
    // Nothing may hand the converter more work once it stops.
    work.stop = [&] {
        watcher.stop();
        converter.stop();
    };
    connect(&converter, &BatchConverter::done, this, [&] {
        if (!foldersGone)
            return;
        printSummary(work.tally());
        finish(ExitCode::SomeFailed);
    });
    return runStoppable(work);
}

// One change report per pair, on the pool as a batch's reports are; what
// has a file on one side only is named, as is every failure.
int ConverterApp::runCompare()
{
    FolderFindings findings;
    const ComparePairs pairs = pairStates(m_options.paths.at(0), m_options.paths.at(1),
                                          m_options.recursive, m_options.targets, &findings);
    for (const QString &problem : qAsConst(findings.unreadable))
        Console::printError(problem);
    for (const QString &file : pairs.onlyBefore)
        Console::printError(text("entfernt: %1").arg(file));
    for (const QString &file : pairs.onlyAfter)
        Console::printError(text("neu: %1").arg(file));
    for (const QString &refusal : pairs.refused)
        Console::printError(refusal);
    m_unread = int(findings.unreadable.size() + pairs.refused.size());
    if (!m_options.combine.isEmpty())
        return runChangesCombined(pairs);

    ChangeReportRunner runner;
    runner.setArchival(m_options.archival);
    const int total = int(pairs.jobs.size());
    int ended = 0;
    connect(&runner, &ChangeReportRunner::ended, this,
            [&](const ChangeReportJob &job, const ChangeReportOutcome &outcome) {
                showChangeReport(job, outcome, ++ended, total);
            });
    const Work work {
            [&] {
                for (const ChangeReportJob &job : pairs.jobs)
                    runner.start(job);
                if (pairs.jobs.isEmpty())
                    QMetaObject::invokeMethod(&runner, &ChangeReportRunner::settled,
                                              Qt::QueuedConnection);
            },
            [&] { runner.stop(); },
            [&] {
                return Tally {runner.writtenCount(), runner.failedCount(), runner.droppedCount()};
            }};
    connect(&runner, &ChangeReportRunner::settled, this, [&] {
        printSummary(work.tally());
        finish(runner.failedCount() + m_unread > 0 ? ExitCode::SomeFailed : ExitCode::AllConverted);
    });
    return runStoppable(work);
}

// Every pair's change report in one document, then the new devices' and
// the removed ones' reports, marked so in the contents.
int ConverterApp::runChangesCombined(const ComparePairs &pairs)
{
    QVector<ChangedDevice> devices;
    for (const ChangeReportJob &job : pairs.jobs)
        devices.append({job.before, job.after});
    for (const QString &file : pairs.onlyAfter)
        devices.append({QString(), file});
    for (const QString &file : pairs.onlyBefore)
        devices.append({file, QString()});
    return runSiteReport([&devices](SiteReport &site) { site.startChanges(devices); });
}

void ConverterApp::showChangeReport(const ChangeReportJob &job, const ChangeReportOutcome &outcome,
                                    int ended, int total) const
{
    const ConsoleOptions console = consoleOptions();
    // Written, but said, also with -q: defaults only must not pass for settings.
    for (const QString &warning : outcome.warnings)
        Console::printError(text("Warnung: ") + warning);
    if (!outcome.written)
        Console::printError(outcome.reason);
    else if (console.listReports)
        Console::printReport(job.target);
    if (console.showProgress)
        Console::printStatus(QStringLiteral("[%1/%2] %3")
                                     .arg(ended)
                                     .arg(total)
                                     .arg(Console::oneLine(QFileInfo(job.after).fileName())));
}
