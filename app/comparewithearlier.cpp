#include "app/comparewithearlier.h"

#include "app/opendialog.h"
#include "system/filenames.h"
#include "system/reportpaths.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

#include <memory>
#include <utility>

namespace {

QString askForEarlier(QWidget *window, const QString &source)
{
    const std::unique_ptr<QFileDialog> dialog(
            makeOpenDialog(window, CompareWithEarlier::tr("Konfigurationen (*.json)")));
    dialog->setWindowTitle(CompareWithEarlier::tr("Früheren Stand wählen"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setDirectory(QFileInfo(source).absolutePath());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().first();
}

} // namespace

CompareWithEarlier::CompareWithEarlier(QWidget *window)
    : QObject(window)
    , m_chooseEarlier([window](const QString &source) { return askForEarlier(window, source); })
    , m_runner(new ChangeReportRunner(this))
{
    connect(m_runner, &ChangeReportRunner::ended, this, &CompareWithEarlier::tell);
}

void CompareWithEarlier::setEarlierChooser(EarlierChooser chooser)
{
    m_chooseEarlier = std::move(chooser);
}

void CompareWithEarlier::setWorkStarter(ChangeReportRunner::Starter starter)
{
    m_runner->setStarter(std::move(starter));
}

void CompareWithEarlier::compare(const QString &source, const QString &report)
{
    const QString earlier = m_chooseEarlier ? m_chooseEarlier(source) : QString();
    if (earlier.isEmpty())
        return;
    m_runner->start({earlier, source, ReportPaths::changesBeside(report)});
}

void CompareWithEarlier::tell(const ChangeReportJob &job, const ChangeReportOutcome &outcome)
{
    if (!outcome.written) {
        emit notice(outcome.reason);
        return;
    }
    const QString name = FileNames::forDisplay(QFileInfo(job.target).fileName());
    const QString count
            = outcome.changes == 1 ? tr("1 Änderung") : tr("%1 Änderungen").arg(outcome.changes);
    QStringList parts {tr("Änderungsprotokoll geschrieben: %1 (%2)").arg(name, count)};
    for (const QString &warning : outcome.warnings)
        parts << tr("Warnung: %1").arg(warning);
    emit notice(parts.join(QStringLiteral(". ")));
}
