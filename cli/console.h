#pragma once

#include <QString>

QT_BEGIN_NAMESPACE
class QByteArray;
class QIODevice;
QT_END_NAMESPACE

// What the converter prints besides its errors.
struct ConsoleOptions
{
    bool listReports = true; // each written report's path on standard output
    bool showProgress = false; // "[k/N] name" on standard error
};

// Every line the converter prints goes through here: report paths, help and
// version on standard output; errors, progress and the summary on standard
// error. Each line leaves whole and at once, so that a script reading both
// streams sees them in order. Tests put buffers in place of the two streams.
namespace Console {

// Replaces standard output and standard error by output and error; nullptr
// puts the standard stream back. The devices stay the caller's.
void setStreams(QIODevice *output, QIODevice *error);
// Whether standard error is a terminal (never while a test holds it).
bool errorIsTerminal();

// text on standard output as it is: the help and the version.
void printText(const QString &text);
// A written report's path on its own line of standard output (quotedPath()).
void printReport(const QString &path);
// "belmorand-cli: " and the message on one line of standard error (oneLine()).
void printError(const QString &message);
// "belmorand-cli: Hinweis: " and the message on standard error: something
// worth knowing that is no failure.
void printNote(const QString &message);
// line on standard error as it is: the progress and the summary.
void printStatus(const QString &line);

// text on one line: control characters (a newline in a file name) as C
// escapes, so each message and each report path stays one line.
QString oneLine(const QString &text);
// A report path for standard output: as it is, or in double quotes with C
// escapes when it holds a control character or begins with a quote.
QString quotedPath(const QString &path);
// A file name's bytes for a message: what is not printable ASCII as \xNN.
QString escapedBytes(const QByteArray &raw);

// One of the converter's texts, in its translation context.
QString text(const char *source);

} // namespace Console
