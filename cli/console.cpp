#include "cli/console.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

const QLatin1Char Quote('"');
const QLatin1Char Backslash('\\');
// Below it the control characters, and Delete above the printable ASCII.
constexpr ushort FirstPrintable = 0x20;
constexpr ushort Delete = 0x7F;
constexpr int HexDigits = 2;
constexpr int Hexadecimal = 16;

// The C library's streams as devices; nothing reaches them unflushed.
struct StandardStreams
{
    StandardStreams()
    {
        output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
        error.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    QFile output;
    QFile error;
};

StandardStreams &standard()
{
    static StandardStreams streams;
    return streams;
}

QIODevice *g_output = nullptr; // a test's, in place of standard output
QIODevice *g_error = nullptr; // a test's, in place of standard error

void writeTo(QIODevice *device, const QString &text)
{
    device->write(text.toLocal8Bit());
    // A QFile over a C stream hands its bytes on only when flushed.
    if (auto *file = qobject_cast<QFile *>(device))
        file->flush();
}

QIODevice *output()
{
    return g_output ? g_output : &standard().output;
}

QIODevice *error()
{
    return g_error ? g_error : &standard().error;
}

bool isControl(QChar c)
{
    return c.unicode() < FirstPrintable || c.unicode() == Delete;
}

QString hexEscape(uint code)
{
    return QStringLiteral("\\x%1").arg(code, HexDigits, Hexadecimal, QLatin1Char('0'));
}

QString escaped(QChar c)
{
    switch (c.unicode()) {
    case '\n':
        return QStringLiteral("\\n");
    case '\t':
        return QStringLiteral("\\t");
    case '\r':
        return QStringLiteral("\\r");
    default:
        return hexEscape(c.unicode());
    }
}

} // namespace

void Console::setStreams(QIODevice *output, QIODevice *error)
{
    g_output = output;
    g_error = error;
}

bool Console::errorIsTerminal()
{
    return !g_error && isatty(fileno(stderr));
}

void Console::printText(const QString &text)
{
    writeTo(output(), text);
}

void Console::printReport(const QString &path)
{
    writeTo(output(), quotedPath(path) + QLatin1Char('\n'));
}

void Console::printError(const QString &message)
{
    printStatus(QStringLiteral("belmorand-cli: ") + oneLine(message));
}

void Console::printNote(const QString &message)
{
    printError(text("Hinweis: %1").arg(message));
}

void Console::printStatus(const QString &line)
{
    writeTo(error(), line + QLatin1Char('\n'));
}

QString Console::oneLine(const QString &text)
{
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString line;
    for (QChar c : text)
        line += isControl(c) ? escaped(c) : QString(c);
    return line;
}

QString Console::quotedPath(const QString &path)
{
    if (!path.startsWith(Quote) && std::none_of(path.begin(), path.end(), isControl))
        return path;
    QString quoted(Quote);
    for (QChar c : path) {
        if (c == Quote || c == Backslash)
            quoted += Backslash;
        quoted += isControl(c) ? escaped(c) : QString(c);
    }
    return quoted + Quote;
}

QString Console::escapedBytes(const QByteArray &raw)
{
    QString shown;
    for (const char c : raw) {
        const auto byte = uchar(c);
        shown += byte >= FirstPrintable && byte < Delete ? QString(QLatin1Char(c))
                                                         : hexEscape(byte);
    }
    return shown;
}

QString Console::text(const char *source)
{
    return QCoreApplication::translate("belmorand-cli", source);
}
