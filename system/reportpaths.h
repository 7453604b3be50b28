#pragma once

#include <QLatin1String>
#include <QString>

// Where a configuration's report goes (three rules, each for one caller)
// and where a change report goes; the suffixes are spelled only here.
namespace ReportPaths {

inline const QLatin1String JsonSuffix(".json"); // a configuration file's, case-sensitive
inline const QLatin1String PdfSuffix(".pdf"); // a report's

bool isConfiguration(const QString &path);

// A report's name: ends in ".pdf", in any case ("Bericht.PDF" too).
bool hasPdfSuffix(const QString &name);

// The task's rule for the path it is given: used unchanged when it ends in
// ".pdf", otherwise with every ".json" in it replaced by ".pdf" (a ".json"
// inside a folder name too, as the task has always done).
QString taskTarget(const QString &pdfPath);

// The window's rule: the report beside its configuration, only the trailing
// ".json" replaced by ".pdf".
QString besideSource(const QString &source);

// The converter's rule: the configuration's own name, its ".json" replaced
// by ".pdf" (or ".pdf" added), in folder (its own, or the one of -d).
QString inFolder(const QString &source, const QString &folder);

// A change report's name: the name of the file at path (a configuration or
// a report) without its ".json" or ".pdf", then "-aenderungen.pdf", beside it.
QString changesBeside(const QString &path);
// The same name in folder.
QString changesInFolder(const QString &path, const QString &folder);

// A name chosen for a report, with ".pdf" added when it lacks it ("Bericht.PDF"
// stays as it is).
QString withPdfSuffix(const QString &name);

} // namespace ReportPaths
