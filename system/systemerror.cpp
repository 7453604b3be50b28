#include "system/systemerror.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

QString systemErrorText(int error)
{
    const auto text
            = [](const char *source) { return QCoreApplication::translate("SystemError", source); };
    switch (error) {
    case ENOENT:
        return text("existiert nicht");
    case ENOTDIR:
        return text("ein Teil des Pfads ist kein Ordner");
    case EISDIR:
        return text("ist ein Ordner");
    case EACCES:
    case EPERM:
        return text("keine Berechtigung");
    case EROFS:
        return text("das Dateisystem ist nur lesbar eingehängt");
    case ENOSPC:
        return text("der Datenträger ist voll");
#ifdef EDQUOT
    case EDQUOT:
        return text("das Kontingent auf dem Datenträger ist erschöpft");
#endif
    case EMFILE:
    case ENFILE:
        return text("zu viele offene Dateien");
    case ENAMETOOLONG:
        return text("der Pfad oder ein Name darin ist zu lang für das System");
#ifdef ELOOP
    case ELOOP:
        return text("zu viele Verweise hintereinander (Verweisschleife?)");
#endif
    case EIO:
        return text("Ein-/Ausgabefehler des Datenträgers");
    case EEXIST:
        return text("existiert schon");
    case ENOMEM:
        return text("nicht genug Arbeitsspeicher");
    case EXDEV:
        return text("liegt auf einem anderen Dateisystem");
    default:
        break;
    }
    // Rare causes keep the system's own words rather than a guess.
    return text("Systemfehler %1: %2").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}
