#pragma once

#include <QString>

QT_BEGIN_NAMESPACE
class QPainter;
class QPdfWriter;
QT_END_NAMESPACE

// One PDF that the reports of several conversions are drawn into, one after
// the other, each from a new page: a site document draws its devices into a
// few volumes instead of a file each (sitedoc/sitevolume.h), so that every
// PDF embeds the subsets of its fonts and its logo once.
//
// A volume is drawn on one thread: the conversions that share it run one
// after the other on the same pool thread, which then closes it. The fonts
// Qt draws with belong to that thread, so no other thread may end the
// writer.
class ReportVolume
{
public:
    virtual ~ReportVolume() = default;

    // Opens the volume at the first report and turns to a new page for every
    // further one. False, with the reason, when the PDF cannot be opened.
    virtual bool beginReport(QString *reason) = 0;
    virtual QPainter *painter() const = 0;
    virtual QPdfWriter *writer() const = 0;
    // The report drawn since beginReport() took pageCount pages; it is
    // placed under key, or left unnamed (an interrupted one) when key is empty.
    virtual void endReport(const QString &key, int pageCount) = 0;

    // Ends the PDF; every report drawn into it is then complete. Called once,
    // on the drawing thread, also when nothing was drawn.
    virtual void close() = 0;
};
