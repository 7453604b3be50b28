#include "app/mainwindow.h"
#include "engine/convert.h"
#include "engine/heapreuse.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // First, before Qt allocates: each report needs a few blocks of several
    // hundred KiB; kept in the heap they serve the next report instead of
    // being mapped, zeroed by the kernel and unmapped again every time.
    keepLargeBuffersInHeap();
    QApplication app(argc, argv);
    convert::initialise();
    MainWindow window;
    window.show();
    // The window's destructor settles the conversions still in the pool.
    return app.exec();
}
