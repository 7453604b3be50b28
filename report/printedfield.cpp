#include "report/printedfield.h"

#include "report/pagewriter.h"

void FieldPrinter::draw(const QVector<bool> &marked)
{
    m_listed = nullptr;
    m_marked = marked;
    m_noted = 0;
    m_lastMarked = {};
}

void FieldPrinter::list(QVector<PrintedField> *fields)
{
    m_listed = fields;
    m_marked.clear();
    m_noted = 0;
}

void FieldPrinter::beginSection(Config::Section section, int entry, const QString &heading)
{
    m_section = section;
    m_entry = entry;
    m_heading = heading;
}

void FieldPrinter::note(PageWriter &page, int x, int row, const QString &label, const QString &text,
                        int position, int element)
{
    const int number = m_noted++;
    if (m_listed) {
        m_listed->append({withoutColon(m_heading),
                          withoutColon(label),
                          text,
                          {m_section, m_entry, position, element},
                          page.pagesDrawn() - 1,
                          x,
                          row});
    } else if (number < m_marked.size() && m_marked.at(number)) {
        // Both values of a row may have changed: one bar for the line.
        const QPair<int, int> line(page.pagesDrawn(), row);
        if (line != m_lastMarked)
            page.drawMarginMark(row);
        m_lastMarked = line;
    }
}

QString FieldPrinter::withoutColon(const QString &text)
{
    QString bare = text.trimmed();
    if (bare.endsWith(QLatin1Char(':')))
        bare.chop(1);
    return bare.trimmed();
}
