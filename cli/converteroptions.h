#pragma once

#include "cli/joblist.h"

#include <QString>
#include <QStringList>

// What a command line asks the converter for.
struct ConverterOptions
{
    QStringList paths;
    bool recursive = false;
    bool quiet = false;
    bool archival = false;
    bool update = false;
    bool watch = false;
    bool compare = false; // paths are the states before and after: change reports
    int pollSeconds = 0; // --poll: look instead of being told
    QString combine; // the one document of every report, if asked for
    QString title;
    int jobs = 0; // 0: one per processor core
    TargetRule targets;

    // More threads than this only wait for each other and the disk, and
    // hundreds of them run out of file handles.
    static constexpr int MaxJobs = 64;
    // One per processor core, up to MaxJobs.
    static int defaultJobs();
};

// How reading a command line ends.
enum class CommandLineReading {
    Run, // the options are sound: convert
    Answered, // the help or the version is printed
    Refused, // a usage error is printed
};

// Reads arguments (the program's name first) into options; the help, the
// version and a usage error go to the console.
CommandLineReading readCommandLine(const QStringList &arguments, ConverterOptions *options);
