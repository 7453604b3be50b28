#include "cli/converterapp.h"

#include "system/filenames.h"
#include "system/stopsignals.h"

#include <QGuiApplication>

// The converter's logic is the library belmorand-converter; this only makes
// the application it runs in.
int main(int argc, char *argv[])
{
    StopSignals::catchEarly();
    FileNames::keepUndecodableNames();
    // Fonts need a GUI application, but no display: offscreen unless the
    // caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ConverterApp::filterQtMessages();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("belmorand-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BELMORAND_VERSION));
    return ConverterApp::run(QCoreApplication::arguments());
}
