#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "engine/conversionqueue.h"
#include "engine/convert.h"
#include "system/filenames.h"
#include "system/stopsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    FileNames::keepUndecodableNames();
    QApplication app(argc, argv);
    installGermanQtTexts(&app);
    useGermanFormats();
    ConversionQueue::prepareProcess(ConversionQueue::LogoJpeg::FromPlugins);
    MainWindow window;
    window.show();
    // A logout or shutdown ends the program like closing it, without a
    // question: running conversions stop and leave nothing behind.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&app](int signal) {
        convert::requestStop();
        app.exit(StopSignals::exitStatus(signal));
    });
    // The window's destructor settles the conversions still in the pool.
    return app.exec();
}
