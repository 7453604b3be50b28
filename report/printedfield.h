#pragma once

#include "engine/configfields.h"

#include <QPair>
#include <QString>
#include <QVector>

class PageWriter;

// Which value of a configuration document a printed line shows.
struct FieldSource
{
    Config::Section section = Config::Section::General;
    int entry = 0; // of outputs or relais; 0 for the other sections
    int position = 0; // in its record (engine/configfields.h)
    int element = -1; // in a list value (a relais' states), or -1 for the whole value
};

// One value as a report prints it, and where.
struct PrintedField
{
    QString section; // its section's heading, without a closing colon
    QString label; // without its ": "; a block's heading for the value it shows
    QString text; // the value's text, vocabularies applied
    FieldSource source;
    int page = 0; // of the report, from 0
    int x = 0; // the top left of its line's box
    int y = 0;
};

// Where the values of a report's sections go, one by one in the report's
// order: drawn (the sections draw the line, this marks it when its value
// changed), or only listed. Every printed value passes through note().
class FieldPrinter
{
public:
    // Drawing: the lines of the values numbered in marked (in the report's
    // order, from 0) get a margin mark.
    void draw(const QVector<bool> &marked = {});
    // Listing into fields; nothing is drawn.
    void list(QVector<PrintedField> *fields);

    // The values noted from now on belong to this record, under heading.
    void beginSection(Config::Section section, int entry, const QString &heading);
    // The value at position (and element of it) of the current record,
    // printed behind label in the line at (x, row) of page.
    void note(PageWriter &page, int x, int row, const QString &label, const QString &text,
              int position, int element = -1);

    // A heading or label as a list names it: without its closing colon.
    static QString withoutColon(const QString &text);

private:
    QVector<PrintedField> *m_listed = nullptr;
    QVector<bool> m_marked;
    int m_noted = 0;
    QPair<int, int> m_lastMarked; // the page and row marked last
    Config::Section m_section = Config::Section::General;
    int m_entry = 0;
    QString m_heading;
};
