#include "app/mainwindow.h"
#include "engine/convert.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    convert::initialise();
    MainWindow window;
    window.show();
    // The window's destructor settles the conversions still in the pool.
    return app.exec();
}
