#include "cli/batchconverter.h"
#include "cli/folderwatcher.h"
#include "cli/joblist.h"
#include "cli/sitereport.h"

#include "engine/convert.h"
#include "report/reportlogo.h"
#include "system/filenames.h"
#include "system/heapreuse.h"
#include "system/reportpaths.h"
#include "system/stopsignals.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QThreadPool>
#include <QTranslator>

#include <cstdio>
#include <functional>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

enum ExitCode { AllConverted = 0, SomeFailed = 1, UsageError = 2 };

// More threads than this only wait for each other and the disk, and
// hundreds of them run out of file handles.
constexpr int MaxJobs = 64;

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

// The lines QCommandLineParser writes itself, in the language of the rest
// of the help text.
class ParserTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        if (qstrcmp(context, "QCommandLineParser") != 0)
            return QString();
        static const QHash<QByteArray, QString> german {
                {"Usage: %1", QStringLiteral("Aufruf: %1")},
                {"[options]", QStringLiteral("[Optionen]")},
                {"Options:", QStringLiteral("Optionen:")},
                {"Arguments:", QStringLiteral("Argumente:")},
                {"Displays help on commandline options.", QStringLiteral("Zeigt diese Hilfe an.")},
                {"Displays help including Qt specific options.",
                 QStringLiteral("Zeigt die Hilfe samt den Optionen von Qt an.")},
                {"Displays help, including generic Qt options.",
                 QStringLiteral("Zeigt die Hilfe samt den Optionen von Qt an.")},
                {"Displays version information.", QStringLiteral("Zeigt die Version an.")},
                {"Unknown option '%1'.", QStringLiteral("Unbekannte Option \"%1\".")},
                {"Unknown options: %1.", QStringLiteral("Unbekannte Optionen: %1.")},
                {"Missing value after '%1'.", QStringLiteral("Nach \"%1\" fehlt ein Wert.")},
                {"Unexpected value after '%1'.",
                 QStringLiteral("Nach \"%1\" ist kein Wert erlaubt.")},
        };
        return german.value(QByteArray(sourceText));
    }
};

QString text(const char *source)
{
    return QCoreApplication::translate("belmorand-cli", source);
}

struct Options
{
    QStringList paths;
    bool recursive = false;
    bool quiet = false;
    bool archival = false;
    bool update = false;
    bool watch = false;
    int pollSeconds = 0; // --poll: look instead of being told
    QString combine; // the one document of every report, if asked for
    QString title;
    int jobs = 0;
    TargetRule targets;
};

// Parses the command line; returns an exit code when the program should end
// right away (usage error, --help, --version).
int parse(QCommandLineParser &parser, Options *options)
{
    parser.setApplicationDescription(text(
            "Wandelt Ordano-Konfigurationsdateien (.json) in PDF-Protokolle um.\n"
            "PFAD ist eine Konfigurationsdatei oder ein Ordner: aus einem Ordner werden alle\n"
            "Dateien auf \".json\" darin umgewandelt, in Namensreihenfolge. Jede Datei X.json\n"
            "wird zu X.pdf im selben Ordner, sofern -o oder -d nichts anderes sagen.\n\n"
            "Rückgabewert: 0 alle umgewandelt, 1 mindestens eine Datei fehlgeschlagen,\n"
            "2 Aufruffehler."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                       text("Ordner mitsamt ihren Unterordnern durchsuchen."));
    const QCommandLineOption output(
            {QStringLiteral("o"), QStringLiteral("output")},
            text("Den Bericht unter DATEI.pdf schreiben (nur bei einer Eingabedatei)."),
            QStringLiteral("DATEI"));
    const QCommandLineOption outputDir(
            {QStringLiteral("d"), QStringLiteral("output-dir")},
            text("Die Berichte in ORDNER schreiben, jeweils unter ihrem eigenen Namen."),
            QStringLiteral("ORDNER"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  text("Höchstens N Umwandlungen gleichzeitig, 1 bis %1 (Vorgabe: "
                                       "%2, die Zahl der Prozessorkerne).")
                                          .arg(MaxJobs)
                                          .arg(qMin(QThread::idealThreadCount(), MaxJobs)),
                                  QStringLiteral("N"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   text("Nur Fehler ausgeben."));
    const QCommandLineOption pdfa(
            QStringLiteral("pdfa"),
            text("Berichte als PDF/A-1b zur Langzeitarchivierung schreiben."));
    const QCommandLineOption update({QStringLiteral("u"), QStringLiteral("update")},
                                    text("Nur Dateien umwandeln, deren Bericht fehlt oder älter "
                                         "ist als die Datei."));
    const QCommandLineOption watch(
            QStringLiteral("watch"),
            text("Die Ordner PFAD... beobachten und jede Datei auf \".json\", "
                 "die darin erscheint oder sich ändert, umwandeln, sobald "
                 "sie fertig geschrieben ist; beim Start die Dateien, "
                 "deren Bericht fehlt oder älter ist. Läuft, bis es mit "
                 "Strg+C, SIGTERM oder SIGHUP beendet wird."));
    const QCommandLineOption poll(
            QStringLiteral("poll"),
            text("Mit --watch: die Ordner alle SEKUNDEN Sekunden ansehen (1 bis %1), statt "
                 "auf Meldungen des Systems zu warten; für Netzwerkfreigaben, deren "
                 "Änderungen von anderen Rechnern nicht gemeldet werden.")
                    .arg(FolderWatcher::MaxPollSeconds),
            QStringLiteral("SEKUNDEN"));
    const QCommandLineOption combine(
            {QStringLiteral("c"), QStringLiteral("combine")},
            text("Alle Berichte in ein Dokument DATEI.pdf schreiben, mit Inhaltsverzeichnis, "
                 "Lesezeichen und Seitenzahlen."),
            QStringLiteral("DATEI"));
    const QCommandLineOption title(
            QStringLiteral("title"),
            text("Titel des Dokuments von --combine --pdfa (Vorgabe: sein Dateiname ohne "
                 "\".pdf\")."),
            QStringLiteral("TEXT"));
    parser.addOptions(
            {recursive, output, outputDir, jobs, quiet, pdfa, update, watch, poll, combine, title});
    parser.addPositionalArgument(QStringLiteral("PFAD"), text("Konfigurationsdateien oder Ordner."),
                                 QStringLiteral("PFAD..."));

    if (!parser.parse(QCoreApplication::arguments())) {
        BatchConverter::printError(parser.errorText());
        return UsageError;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return AllConverted;
    }
    if (parser.isSet(version)) {
        std::printf("belmorand-cli %s\n", BELMORAND_VERSION);
        return AllConverted;
    }

    options->paths = parser.positionalArguments();
    options->recursive = parser.isSet(recursive);
    options->quiet = parser.isSet(quiet);
    options->archival = parser.isSet(pdfa);
    options->update = parser.isSet(update);
    options->watch = parser.isSet(watch);
    options->combine = parser.value(combine);
    options->title = parser.value(title);
    options->targets.outputFile = parser.value(output);
    options->targets.outputDir = parser.value(outputDir);
    if (options->paths.isEmpty()) {
        BatchConverter::printError(
                text("keine Datei angegeben (Aufruf: belmorand-cli [Optionen] PFAD..., Hilfe "
                     "mit --help)"));
        return UsageError;
    }
    if (parser.isSet(jobs)) {
        bool ok = false;
        options->jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options->jobs < 1 || options->jobs > MaxJobs) {
            BatchConverter::printError(
                    text("--jobs braucht eine ganze Zahl von 1 bis %1, nicht \"%2\"")
                            .arg(MaxJobs)
                            .arg(parser.value(jobs)));
            return UsageError;
        }
    }
    if (parser.isSet(output) && parser.isSet(outputDir)) {
        BatchConverter::printError(text("--output und --output-dir schließen einander aus"));
        return UsageError;
    }
    if (parser.isSet(output)) {
        if (options->paths.size() != 1 || QFileInfo(options->paths.first()).isDir()) {
            BatchConverter::printError(text("--output gilt nur für genau eine Eingabedatei"));
            return UsageError;
        }
        if (!options->targets.outputFile.endsWith(ReportPaths::PdfSuffix)) {
            BatchConverter::printError(text("der Name für --output muss auf \".pdf\" enden: %1")
                                               .arg(options->targets.outputFile));
            return UsageError;
        }
    }
    if (parser.isSet(poll)) {
        bool ok = false;
        options->pollSeconds = parser.value(poll).toInt(&ok);
        if (!ok || options->pollSeconds < 1
            || options->pollSeconds > FolderWatcher::MaxPollSeconds) {
            BatchConverter::printError(
                    text("--poll braucht eine ganze Zahl von 1 bis %1, nicht \"%2\"")
                            .arg(FolderWatcher::MaxPollSeconds)
                            .arg(parser.value(poll)));
            return UsageError;
        }
        if (!options->watch) {
            BatchConverter::printError(text("--poll gilt nur mit --watch"));
            return UsageError;
        }
    }
    if (parser.isSet(title) && !parser.isSet(combine)) {
        BatchConverter::printError(text("--title gilt nur mit --combine"));
        return UsageError;
    }
    if (parser.isSet(combine)) {
        if (parser.isSet(output) || parser.isSet(outputDir) || options->update || options->watch) {
            BatchConverter::printError(text("--combine schreibt ein einziges Dokument; --output, "
                                            "--output-dir, --update und --watch passen nicht "
                                            "dazu"));
            return UsageError;
        }
        if (!options->combine.endsWith(ReportPaths::PdfSuffix)) {
            BatchConverter::printError(text("der Name für --combine muss auf \".pdf\" enden: %1")
                                               .arg(options->combine));
            return UsageError;
        }
    }
    if (options->watch) {
        if (parser.isSet(output)) {
            BatchConverter::printError(
                    text("--watch schreibt jeden Bericht unter seinem eigenen Namen, "
                         "--output passt nicht dazu"));
            return UsageError;
        }
        for (const QString &path : qAsConst(options->paths)) {
            if (!QFileInfo(path).isDir()) {
                BatchConverter::printError(
                        text("--watch beobachtet Ordner; %1 ist keiner").arg(path));
                return UsageError;
            }
        }
    }
    if (parser.isSet(outputDir) && !QDir().mkpath(options->targets.outputDir)) {
        BatchConverter::printError(
                text("der Ordner %1 lässt sich nicht anlegen").arg(options->targets.outputDir));
        return UsageError;
    }
    return -1;
}

// unread: the folders and files that could not even be read, counted as failed.
void printSummary(const Options &options, const BatchConverter &converter, int unread,
                  const QString &more = QString())
{
    if (options.quiet)
        return;
    std::fprintf(stderr, "%s%s\n",
                 text("%1 konvertiert, %2 fehlgeschlagen")
                         .arg(converter.convertedCount())
                         .arg(converter.failedCount() + unread)
                         .toLocal8Bit()
                         .constData(),
                 more.toLocal8Bit().constData());
}

BatchConverter::Output outputFor(const Options &options)
{
    BatchConverter::Output output;
    output.listReports = !options.quiet;
    output.showProgress = !options.quiet && isatty(fileno(stderr));
    output.archival = options.archival;
    return output;
}

// Interrupted: running conversions end without a report, the others never
// begin, and the summary still comes.
void stopNow(int signal, BatchConverter *converter, const Options &options, int unread)
{
    convert::requestStop();
    converter->stop();
    BatchConverter::printError(text("abgebrochen (%1); %2 Dateien wurden nicht mehr begonnen")
                                       .arg(StopSignals::name(signal))
                                       .arg(converter->notStartedCount()));
    printSummary(options, *converter, unread);
    QCoreApplication::exit(StopSignals::exitStatus(signal));
}

// Runs the event loop for converter until its work ends or a stop signal
// ends it; start begins the work, unless a signal came during the start-up.
int runStoppable(BatchConverter *converter, const Options &options, int unread,
                 const std::function<void()> &start)
{
    StopSignals stopSignals;
    int stoppedBy = 0;
    QObject::connect(&stopSignals, &StopSignals::received, qApp, [&](int signal) {
        stoppedBy = signal;
        stopNow(signal, converter, options, unread);
    });
    stopSignals.deliverPending();
    if (stoppedBy)
        return StopSignals::exitStatus(stoppedBy);
    start();
    return QCoreApplication::exec();
}

// Every file's report in one document; a file that fails is left out of it.
int runCombine(const Options &options, const QStringList &files, int unread)
{
    SiteReport site(QDir::cleanPath(QFileInfo(options.combine).absoluteFilePath()), options.title,
                    outputFor(options));
    QString reason;
    if (!site.reserve(&reason)) {
        BatchConverter::printError(reason);
        return SomeFailed;
    }
    BatchConverter &converter = *site.converter();
    QObject::connect(&site, &SiteReport::done, qApp, [&] {
        printSummary(options, converter, unread);
        const bool complete = site.isWritten() && converter.failedCount() + unread == 0;
        QCoreApplication::exit(complete ? AllConverted : SomeFailed);
    });
    return runStoppable(&converter, options, unread, [&] { site.start(files); });
}

int runBatch(const Options &options)
{
    FolderFindings findings;
    const QStringList files = expandPaths(options.paths, options.recursive, &findings);
    for (const QString &folder : qAsConst(findings.empty))
        BatchConverter::printError(
                text("im Ordner %1 liegt keine Datei auf \".json\"").arg(folder));
    for (const QString &problem : qAsConst(findings.unreadable))
        BatchConverter::printError(problem);

    const int unread = int(findings.unreadable.size());
    if (!options.combine.isEmpty())
        return runCombine(options, files, unread);

    BatchConverter converter(outputFor(options));
    int current = 0;
    const QVector<ConversionJob> jobs
            = makeJobs(files, options.targets, options.update ? &current : nullptr);
    QObject::connect(&converter, &BatchConverter::done, qApp, [&] {
        printSummary(options, converter, unread,
                     options.update ? text(", %1 schon aktuell").arg(current) : QString());
        QCoreApplication::exit(converter.failedCount() + unread > 0 ? SomeFailed : AllConverted);
    });
    return runStoppable(&converter, options, unread, [&] { converter.start(jobs); });
}

// Runs until stopped; a progress count would never end, so there is none.
int runWatch(const Options &options)
{
    BatchConverter::Output output = outputFor(options);
    output.showProgress = false;
    BatchConverter converter(output);
    FolderWatcher watcher(&converter, options.targets, options.recursive);
    watcher.setPollInterval(options.pollSeconds);
    bool foldersGone = false;
    QObject::connect(&watcher, &FolderWatcher::foldersGone, qApp, [&] {
        // Nothing left to watch: what was begun still ends.
        foldersGone = true;
        watcher.stop();
        converter.dropQueued();
    });
    QObject::connect(&converter, &BatchConverter::done, qApp, [&] {
        if (!foldersGone)
            return;
        printSummary(options, converter, 0);
        QCoreApplication::exit(SomeFailed);
    });
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, qApp, [&](int signal) {
        watcher.stop();
        stopNow(signal, &converter, options, 0);
    });
    watcher.start(options.paths);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    StopSignals::catchEarly();
    FileNames::keepUndecodableNames();
    // Fonts need a GUI application, but no display: offscreen unless the
    // caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(filterMessages);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("belmorand-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BELMORAND_VERSION));
    ParserTranslator parserTexts;
    QCoreApplication::installTranslator(&parserTexts);

    QCommandLineParser parser;
    Options options;
    const int early = parse(parser, &options);
    if (early >= 0)
        return early;

    QThreadPool::globalInstance()->setMaxThreadCount(
            options.jobs > 0 ? options.jobs : qMin(QThread::idealThreadCount(), MaxJobs));
    convert::initialise();
    ReportLogo::useBuiltJpeg();
    // Once the start-up's own large blocks (the font configuration's) are gone, and
    // before the first report: the blocks a report needs, up to a few MiB,
    // then stay in the heap for the next report instead of being mapped,
    // zeroed by the kernel and unmapped again for each one.
    keepLargeBuffersInHeap();

    // Each run's converter collects its tasks when it goes.
    return options.watch ? runWatch(options) : runBatch(options);
}
