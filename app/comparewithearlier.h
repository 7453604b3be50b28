#pragma once

#include "engine/changereportrunner.h"

#include <QObject>
#include <QString>

#include <functional>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// "Mit früherem Stand vergleichen …" of the window's rows: asks for the
// earlier state of a row's configuration, writes the change report beside
// the row's report in the background and says how it went. A child of the
// window, it owns what it started: closing the window waits for it.
class CompareWithEarlier : public QObject
{
    Q_OBJECT

public:
    // Asks for the earlier state of the configuration at source; an empty
    // answer means cancelled. Replaceable, so that tests need no dialog.
    using EarlierChooser = std::function<QString(const QString &source)>;

    explicit CompareWithEarlier(QWidget *window);

    void setEarlierChooser(EarlierChooser chooser);
    // Where the work runs: by default on Qt's global pool, never on the
    // window's thread.
    void setWorkStarter(ChangeReportRunner::Starter starter);

    // Compares the earlier state the user chooses with source, into
    // NAME-aenderungen.pdf beside report (NAME: report's without ".pdf").
    void compare(const QString &source, const QString &report);

signals:
    // For the status line: written, with the count of changes, or why not.
    void notice(const QString &text);

private:
    void tell(const ChangeReportJob &job, const ChangeReportOutcome &outcome);

    EarlierChooser m_chooseEarlier;
    ChangeReportRunner *m_runner;
};
