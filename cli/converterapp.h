#pragma once

#include "cli/converteroptions.h"

#include <QObject>

#include <functional>

class BatchConverter;
struct ChangeReportJob;
struct ChangeReportOutcome;
struct ComparePairs;
class SiteReport;
struct ConsoleOptions;

// How the converter ends, as a script sees it; a stop signal ends it with
// StopSignals::exitStatus() instead.
enum class ExitCode {
    AllConverted = 0,
    SomeFailed = 1, // or a folder could not be read, or the watched folders are gone
    UsageError = 2,
};

// The converter as a program: reads its command line, then converts the
// files once, into their reports or into one document, or watches the
// folders until it is stopped. Ctrl+C, SIGTERM and SIGHUP stop it cleanly.
class ConverterApp : public QObject
{
    Q_OBJECT

public:
    // Runs the converter on arguments (the program's name first) in the
    // application's event loop; returns the program's exit status.
    static int run(const QStringList &arguments);
    // Lets only Qt's serious messages through, unless BELMORAND_DEBUG is
    // set. Call before the application object is made.
    static void filterQtMessages();

private:
    explicit ConverterApp(const ConverterOptions &options, QObject *parent = nullptr);

    // What a run counts, for its summary.
    struct Tally
    {
        int converted = 0;
        int failed = 0;
        int notStarted = 0; // after a stop
    };
    // A run of the converter: how it begins, how it is stopped (what runs is
    // waited for; nothing begins any more), what it has counted.
    struct Work
    {
        std::function<void()> start;
        std::function<void()> stop;
        std::function<Tally()> tally;
    };

    static void prepare(const ConverterOptions &options);
    ConsoleOptions consoleOptions() const;
    int runBatch();
    int runCombine(const QStringList &files);
    // A site document begun by begin, shown on the console.
    int runSiteReport(const std::function<void(SiteReport &)> &begin);
    int runChangesCombined(const ComparePairs &pairs);
    void showSiteReport(SiteReport *site);
    int runWatch();
    // Change reports of two states instead of reports.
    int runCompare();
    void showChangeReport(const ChangeReportJob &job, const ChangeReportOutcome &outcome, int ended,
                          int total) const;
    static Work workOf(BatchConverter *converter, const std::function<void()> &start);
    int runStoppable(const Work &work);
    void stopNow(int signal, const Work &work);
    void printSummary(const Tally &tally, const QString &more = QString()) const;
    static void finish(ExitCode code);

    ConverterOptions m_options;
    int m_unread = 0; // folders and files that could not even be read, counted as failed
};
