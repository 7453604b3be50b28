#include "cli/converteroptions.h"

#include "cli/console.h"
#include "cli/folderwatcher.h"
#include "system/reportpaths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QTranslator>

namespace {

using Console::text;

// The lines QCommandLineParser writes itself, in the language of the rest
// of the help text.
class ParserTranslator : public QTranslator
{
public:
    ParserTranslator() { QCoreApplication::installTranslator(this); }
    ~ParserTranslator() override { QCoreApplication::removeTranslator(this); }

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

// The converter's options, declared on a parser.
struct DeclaredOptions
{
    explicit DeclaredOptions(QCommandLineParser *parser);

    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption recursive {{QStringLiteral("r"), QStringLiteral("recursive")},
                                  text("Ordner mitsamt ihren Unterordnern durchsuchen.")};
    QCommandLineOption output {
            {QStringLiteral("o"), QStringLiteral("output")},
            text("Den Bericht unter DATEI.pdf schreiben (nur bei einer Eingabedatei)."),
            QStringLiteral("DATEI")};
    QCommandLineOption outputDir {
            {QStringLiteral("d"), QStringLiteral("output-dir")},
            text("Die Berichte in ORDNER schreiben, jeweils unter ihrem eigenen Namen."),
            QStringLiteral("ORDNER")};
    QCommandLineOption jobs {{QStringLiteral("j"), QStringLiteral("jobs")},
                             text("Höchstens N Umwandlungen gleichzeitig, 1 bis %1 (Vorgabe: "
                                  "%2, die Zahl der Prozessorkerne).")
                                     .arg(ConverterOptions::MaxJobs)
                                     .arg(ConverterOptions::defaultJobs()),
                             QStringLiteral("N")};
    QCommandLineOption quiet {{QStringLiteral("q"), QStringLiteral("quiet")},
                              text("Nur Fehler ausgeben.")};
    QCommandLineOption pdfa {QStringLiteral("pdfa"),
                             text("Berichte als PDF/A-1b zur Langzeitarchivierung schreiben.")};
    QCommandLineOption update {{QStringLiteral("u"), QStringLiteral("update")},
                               text("Nur Dateien umwandeln, deren Bericht fehlt oder älter "
                                    "ist als die Datei.")};
    QCommandLineOption watch {QStringLiteral("watch"),
                              text("Die Ordner PFAD... beobachten und jede Datei auf \".json\", "
                                   "die darin erscheint oder sich ändert, umwandeln, sobald "
                                   "sie fertig geschrieben ist; beim Start die Dateien, "
                                   "deren Bericht fehlt oder älter ist. Läuft, bis es mit "
                                   "Strg+C, SIGTERM oder SIGHUP beendet wird.")};
    QCommandLineOption poll {
            QStringLiteral("poll"),
            text("Mit --watch: die Ordner alle SEKUNDEN Sekunden ansehen (1 bis %1), statt "
                 "auf Meldungen des Systems zu warten; für Netzwerkfreigaben, deren "
                 "Änderungen von anderen Rechnern nicht gemeldet werden.")
                    .arg(FolderWatcher::MaxPollSeconds),
            QStringLiteral("SEKUNDEN")};
    QCommandLineOption combine {
            {QStringLiteral("c"), QStringLiteral("combine")},
            text("Alle Berichte in ein Dokument DATEI.pdf schreiben, mit Inhaltsverzeichnis, "
                 "Lesezeichen und Seitenzahlen."),
            QStringLiteral("DATEI")};
    QCommandLineOption compare {
            QStringLiteral("compare"),
            text("Zwei Stände vergleichen: PFAD... sind VORHER und NACHHER, zwei "
                 "Konfigurationsdateien oder zwei Ordner (deren Dateien nach ihrem Pfad im "
                 "Ordner gepaart werden). Schreibt je Gerät ein Änderungsprotokoll "
                 "NAME-aenderungen.pdf neben NACHHER, sofern -o oder -d nichts anderes sagen; mit "
                 "-c alle in ein Dokument.")};
    QCommandLineOption title {
            QStringLiteral("title"),
            text("Titel des Dokuments von --combine --pdfa (Vorgabe: sein Dateiname ohne "
                 "\".pdf\")."),
            QStringLiteral("TEXT")};
};

DeclaredOptions::DeclaredOptions(QCommandLineParser *parser)
    : help(parser->addHelpOption())
    , version(parser->addVersionOption())
{
    parser->setApplicationDescription(text(
            "Wandelt Ordano-Konfigurationsdateien (.json) in PDF-Protokolle um.\n"
            "PFAD ist eine Konfigurationsdatei oder ein Ordner: aus einem Ordner werden alle\n"
            "Dateien auf \".json\" darin umgewandelt, in Namensreihenfolge. Jede Datei X.json\n"
            "wird zu X.pdf im selben Ordner, sofern -o oder -d nichts anderes sagen.\n"
            "Mit --compare VORHER NACHHER entsteht statt der Berichte je Gerät ein\n"
            "Änderungsprotokoll.\n\n"
            "Rückgabewert: 0 alle umgewandelt, 1 mindestens eine Datei fehlgeschlagen,\n"
            "2 Aufruffehler."));
    parser->addOptions({recursive, output, outputDir, jobs, quiet, pdfa, update, watch, poll,
                        combine, title, compare});
    parser->addPositionalArgument(QStringLiteral("PFAD"),
                                  text("Konfigurationsdateien oder Ordner."),
                                  QStringLiteral("PFAD..."));
}

// Each check below tells its usage error on the console and returns false.
// Of several errors the first in run()'s order is told, always the same one.
class Validation
{
public:
    Validation(const QCommandLineParser &parser, const DeclaredOptions &declared,
               ConverterOptions *options)
        : m_parser(parser)
        , m_declared(declared)
        , m_options(options)
    { }

    bool run()
    {
        return pathsGiven() && jobsInRange() && compareFits() && outputsFit() && pollFits()
               && combineFits() && watchFits() && outputDirMade();
    }

private:
    static bool refuse(const QString &message)
    {
        Console::printError(message);
        return false;
    }

    bool pathsGiven() const
    {
        return !m_options->paths.isEmpty()
               || refuse(text("keine Datei angegeben (Aufruf: belmorand-cli [Optionen] PFAD..., "
                              "Hilfe mit --help)"));
    }

    // value, the option's, as a whole number from 1 to most; false when it
    // is none.
    bool readBounded(const QCommandLineOption &option, int most, int *value) const
    {
        bool ok = false;
        *value = m_parser.value(option).toInt(&ok);
        return ok && *value >= 1 && *value <= most;
    }

    bool jobsInRange() const
    {
        if (!m_parser.isSet(m_declared.jobs)
            || readBounded(m_declared.jobs, ConverterOptions::MaxJobs, &m_options->jobs))
            return true;
        return refuse(text("--jobs braucht eine ganze Zahl von 1 bis %1, nicht \"%2\"")
                              .arg(ConverterOptions::MaxJobs)
                              .arg(m_parser.value(m_declared.jobs)));
    }

    // Two states, both files or both folders; the site document that
    // holds the change reports of a folder is not made yet.
    bool compareFits() const
    {
        if (!m_options->compare)
            return true;
        if (m_options->paths.size() != 2)
            return refuse(text("--compare braucht genau zwei Pfade: VORHER und NACHHER"));
        if (m_options->watch || m_options->update)
            return refuse(text("--compare vergleicht einmal; --watch und --update passen nicht "
                               "dazu"));
        if (QFileInfo(m_options->paths.at(0)).isDir() != QFileInfo(m_options->paths.at(1)).isDir())
            return refuse(text("--compare vergleicht zwei Dateien oder zwei Ordner, nicht eine "
                               "Datei mit einem Ordner"));
        return true;
    }

    bool outputsFit() const
    {
        const bool output = m_parser.isSet(m_declared.output);
        if (output && m_parser.isSet(m_declared.outputDir))
            return refuse(text("--output und --output-dir schließen einander aus"));
        if (!output)
            return true;
        if (m_options->compare) {
            if (QFileInfo(m_options->paths.first()).isDir())
                return refuse(text("--output gilt mit --compare nur für zwei Dateien"));
        } else if (m_options->paths.size() != 1 || QFileInfo(m_options->paths.first()).isDir()) {
            return refuse(text("--output gilt nur für genau eine Eingabedatei"));
        }
        if (!m_options->targets.outputFile.endsWith(ReportPaths::PdfSuffix))
            return refuse(text("der Name für --output muss auf \".pdf\" enden: %1")
                                  .arg(m_options->targets.outputFile));
        return true;
    }

    bool pollFits() const
    {
        if (!m_parser.isSet(m_declared.poll))
            return true;
        if (!readBounded(m_declared.poll, FolderWatcher::MaxPollSeconds, &m_options->pollSeconds))
            return refuse(text("--poll braucht eine ganze Zahl von 1 bis %1, nicht \"%2\"")
                                  .arg(FolderWatcher::MaxPollSeconds)
                                  .arg(m_parser.value(m_declared.poll)));
        return m_options->watch || refuse(text("--poll gilt nur mit --watch"));
    }

    bool combineFits() const
    {
        const bool combine = m_parser.isSet(m_declared.combine);
        if (m_parser.isSet(m_declared.title) && !combine)
            return refuse(text("--title gilt nur mit --combine"));
        if (!combine)
            return true;
        if (m_parser.isSet(m_declared.output) || m_parser.isSet(m_declared.outputDir)
            || m_options->update || m_options->watch)
            return refuse(text("--combine schreibt ein einziges Dokument; --output, "
                               "--output-dir, --update und --watch passen nicht dazu"));
        if (!m_options->combine.endsWith(ReportPaths::PdfSuffix))
            return refuse(text("der Name für --combine muss auf \".pdf\" enden: %1")
                                  .arg(m_options->combine));
        return true;
    }

    bool watchFits() const
    {
        if (!m_options->watch)
            return true;
        if (m_parser.isSet(m_declared.output))
            return refuse(text("--watch schreibt jeden Bericht unter seinem eigenen Namen, "
                               "--output passt nicht dazu"));
        for (const QString &path : qAsConst(m_options->paths)) {
            if (!QFileInfo(path).isDir())
                return refuse(text("--watch beobachtet Ordner; %1 ist keiner").arg(path));
        }
        return true;
    }

    bool outputDirMade() const
    {
        return !m_parser.isSet(m_declared.outputDir) || QDir().mkpath(m_options->targets.outputDir)
               || refuse(text("der Ordner %1 lässt sich nicht anlegen")
                                 .arg(m_options->targets.outputDir));
    }

    const QCommandLineParser &m_parser;
    const DeclaredOptions &m_declared;
    ConverterOptions *m_options;
};

void take(const QCommandLineParser &parser, const DeclaredOptions &declared,
          ConverterOptions *options)
{
    options->paths = parser.positionalArguments();
    options->recursive = parser.isSet(declared.recursive);
    options->quiet = parser.isSet(declared.quiet);
    options->archival = parser.isSet(declared.pdfa);
    options->update = parser.isSet(declared.update);
    options->watch = parser.isSet(declared.watch);
    options->compare = parser.isSet(declared.compare);
    options->combine = parser.value(declared.combine);
    options->title = parser.value(declared.title);
    options->targets.outputFile = parser.value(declared.output);
    options->targets.outputDir = parser.value(declared.outputDir);
}

} // namespace

int ConverterOptions::defaultJobs()
{
    return qMin(QThread::idealThreadCount(), MaxJobs);
}

CommandLineReading readCommandLine(const QStringList &arguments, ConverterOptions *options)
{
    const ParserTranslator german;
    QCommandLineParser parser;
    const DeclaredOptions declared(&parser);
    if (!parser.parse(arguments)) {
        Console::printError(parser.errorText());
        return CommandLineReading::Refused;
    }
    if (parser.isSet(declared.help)) {
        Console::printText(parser.helpText());
        return CommandLineReading::Answered;
    }
    if (parser.isSet(declared.version)) {
        Console::printText(
                QStringLiteral("belmorand-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return CommandLineReading::Answered;
    }
    take(parser, declared, options);
    return Validation(parser, declared, options).run() ? CommandLineReading::Run
                                                       : CommandLineReading::Refused;
}
