#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installGermanQtTexts(QCoreApplication *app)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto *german = new QTranslator(app);
    if (!german->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                      QStringLiteral("_"), folder)) {
        delete german;
        return false;
    }
    return QCoreApplication::installTranslator(german);
}

void useGermanFormats()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}
