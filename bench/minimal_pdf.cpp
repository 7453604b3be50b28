#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

// The yardstick of compare.sh: the least a Qt program does to turn files
// into PDFs. For every argument X it writes X.pdf, one A4 page with the
// file's name as one line of text in the default font, on Qt's PDF writer.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList files = QCoreApplication::arguments().mid(1);
    for (const QString &file : files) {
        QPdfWriter pdf(file + QStringLiteral(".pdf"));
        QPainter painter(&pdf);
        painter.drawText(0, painter.fontMetrics().ascent(), QFileInfo(file).fileName());
    }
    return 0;
}
