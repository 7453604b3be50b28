#pragma once

#include "engine/convert.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>

#include <functional>

// Opens the task's section renderers to a test: draws them with the task's
// page writer into a PDF of the test's own, from a cursor the test chooses.
class ReportProbe : public convert
{
public:
    using convert::renderDisplay;
    using convert::renderOutputs;
    using convert::renderRelais;
    using convert::renderTlf;

    // Reads the configuration of json into the document.
    void read(const QByteArray &json) { readConfiguration(QJsonDocument::fromJson(json).object()); }

    // Draws into file, starting with the cursor at start; returns where the
    // cursor ends.
    int draw(const QString &file, int start, const std::function<void(ReportProbe &)> &steps)
    {
        QPdfWriter pdf(file);
        configurePage(pdf);
        QPainter pen(&pdf);
        pageWriter().drawOn(&pen, &pdf);
        y = start;
        steps(*this);
        const int end = y;
        pen.end();
        pageWriter().stopDrawing();
        return end;
    }

    void mark(const QString &text) { drawLeft(y, text); }
};
