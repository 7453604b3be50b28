#pragma once

#include <QSet>
#include <QString>
#include <QVector>

// What a reader sees in a report: its lines of text with their places, read
// back from the PDF and given in the layout's device units (1200 per inch,
// origin at the top left of the printable area).
struct PdfLine
{
    int page = 0; // from 0
    QString text;
    int x = 0; // left edge of the first word
    int centerY = 0; // vertical centre of the words
    // Top of the line box the text was centred in.
    int boxY() const;
};

class PdfReport
{
public:
    explicit PdfReport(const QString &fileName);

    bool isValid() const { return m_valid; }
    int pageCount() const { return m_pageCount; }
    const QVector<PdfLine> &lines() const { return m_lines; }

    // The first line whose text starts with prefix, or nullptr.
    const PdfLine *find(const QString &prefix, int from = 0) const;
    int indexOf(const QString &prefix, int from = 0) const;
    QStringList texts() const;
    // The texts of the lines on pages from to before to (from 0): those of
    // the report's drawing area, or those below it (a foot line).
    QStringList pageTexts(int from, int to, bool foot = false) const;

    // Share of non-white pixels in a box given in device units on a page.
    double inkIn(int page, int x, int y, int width, int height) const;

    // The fonts the report embeds, by name ("BelmorandReportSans", ...).
    QStringList fontNames() const;
    // Every character the text maps (ToUnicode) assign to a glyph, as
    // written: what a copy of the text or an index gets.
    QSet<uint> mappedCharacters() const;

private:
    QString m_fileName;
    bool m_valid = false;
    int m_pageCount = 0;
    QVector<PdfLine> m_lines;
};
