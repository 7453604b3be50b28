#pragma once

#include "cli/converteroptions.h"

#include <QObject>

#include <functional>

class BatchConverter;
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

    static void prepare(const ConverterOptions &options);
    ConsoleOptions consoleOptions() const;
    int runBatch();
    int runCombine(const QStringList &files);
    int runWatch();
    int runStoppable(BatchConverter *converter, const std::function<void()> &start,
                     const std::function<void()> &halt = {});
    void stopNow(int signal, BatchConverter *converter);
    void printSummary(const BatchConverter &converter, const QString &more = QString()) const;
    static void finish(ExitCode code);

    ConverterOptions m_options;
    int m_unread = 0; // folders and files that could not even be read, counted as failed
};
