#include "cli/batchconverter.h"

#include "engine/convert.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThreadPool>

#include <cstdio>

namespace {

// Qt's note about a missing XDG_RUNTIME_DIR (usual under cron or ssh) is no
// concern of a converter's user; everything else is passed on.
QtMessageHandler defaultHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (defaultHandler)
        defaultHandler(type, context, message);
}

enum ExitCode { AllConverted = 0, SomeFailed = 1, UsageError = 2 };

QString targetFor(const QString &source)
{
    if (source.endsWith(QLatin1String(".json")))
        return source.left(source.size() - 5) + QLatin1String(".pdf");
    return source + QLatin1String(".pdf"); // refused by the task; never written
}

} // namespace

int main(int argc, char *argv[])
{
    // Fonts need a GUI application, but no display: offscreen unless the
    // caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    defaultHandler = qInstallMessageHandler(filterMessages);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("belmorand-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BELMORAND_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
            "main", "Wandelt Ordano-Konfigurationsdateien (.json) in PDF-Protokolle um.\n"
                    "Jede Datei X.json wird zu X.pdf im selben Ordner."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("DATEI.json"),
                                 QCoreApplication::translate("main", "Konfigurationsdateien."),
                                 QStringLiteral("DATEI.json..."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "belmorand-cli: %s\n", qPrintable(parser.errorText()));
        return UsageError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return AllConverted;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return UsageError;
    }

    QVector<BatchConverter::Job> jobs;
    for (const QString &file : files) {
        const QString source = QFileInfo(file).absoluteFilePath();
        jobs.append({source, targetFor(source)});
    }

    convert::initialise();
    BatchConverter converter;
    QObject::connect(&converter, &BatchConverter::done, &app,
                     [&] { app.exit(converter.failedCount() > 0 ? SomeFailed : AllConverted); });
    converter.start(jobs);
    const int status = app.exec();
    // Tasks release themselves after their final signal; collect them.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
