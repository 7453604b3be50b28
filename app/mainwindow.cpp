#include "app/mainwindow.h"

#include "app/comparewithearlier.h"
#include "app/opendialog.h"
#include "engine/conversionqueue.h"
#include "engine/convert.h"
#include "sitedoc/sitereport.h"
#include "system/filenames.h"
#include "system/reportpaths.h"
#include "widgets/cbutton.h"
#include "widgets/listwidgetcontainer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <memory>
#include <utility>

// Every row has the list's row size and fills its item. The list takes one
// item's size for all (uniform sizes), the last one's, which may not have its
// size hint yet; the default delegate would also give a row only the height
// of a line of text, and the list its full height again at the next placing.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setRowSize(const QSize &size) { m_rowSize = size; }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return m_rowSize;
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &) const override
    {
        editor->setGeometry(option.rect);
    }

private:
    QSize m_rowSize;
};

namespace {

constexpr int WindowWidth = 709;
constexpr int WindowHeight = 580;
// Room for a path field that shows a file name of about 20 characters whole.
constexpr int MinimumWidth = 560;
// What a desktop's title bar may take above the window.
constexpr int TitleBarAllowance = 20;
constexpr int LayoutSpacing = 6;
constexpr int LayoutMargin = 11;
constexpr int HeaderStretch = 1;
constexpr int ListStretch = 9;
constexpr int HeaderMinimumHeight = 60;
constexpr int SpacerWidth = 598;
constexpr int SpacerHeight = 20;
// The logo image is 1000 x 241 pixels.
constexpr double LogoRatio = 1000.0 / 241.0;
constexpr int RowHeight = 60;
// With no scroll bar, rows are this much narrower than the list, clear of its
// frame; a scroll bar takes its width from the rows too.
constexpr int RowWidthMargin = 10;

const QString StyleSheet = QStringLiteral(
        "QPushButton#btnLogo{border-image:url(:/img/quorvalisLogoMain.png);}\n\n"
        "QPushButton#btnBrows{border-image:url(:/img/Folder_icon.png);}\n"
        "QPushButton#btnBrows:pressed{border-image:url(:/img/Folder_icon_blau.png);}\n\n"
        "QPushButton#btnKonvert{border-image:url(:/img/IconSwitch.png);}\n"
        "QPushButton#btnKonvert:pressed{border-image:url(:/img/IconSwitchInv.png);}"
        "\n\nQPushButton#btnSite{border-image:url(:/img/SiteDocument.png);}\n"
        "QPushButton#btnSite:pressed{border-image:url(:/img/SiteDocument_blau.png);}\n"
        "QPushButton#btnSite:disabled{border-image:url(:/img/SiteDocument_grau.png);}"
        "\n\nQLabel#listHint{color:gray;}");

// A box of refused duplicates names at most this many, and the status line
// as many files left out.
constexpr int MaxNamedDuplicates = 10;
constexpr int MaxNamedSkipped = 10;
// The red of a failed row, for the failures in the status line.
const QString FailureColor = QStringLiteral("#B0000B");
constexpr Qt::TextInteractionFlags LinkInteraction
        = Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard;
// Rows are added in slices of about this many milliseconds, between which
// the window hears its events, and within a slice in chunks of this many
// rows, each one insertion into the list.
constexpr int AddingSliceMs = 40;
constexpr int RowsPerChunk = 25;

QStringList askUserForFiles(QWidget *window)
{
    const std::unique_ptr<QFileDialog> dialog(makeOpenDialog(window));
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
}

// The local path a dropped URL names. Its percent-decoded bytes are the
// name, decoded like every other file name of the program: a file manager
// sends a Latin-1 name as "Pr%FCfstand.json".
QString droppedPath(const QUrl &url)
{
    if (!url.isLocalFile() || !url.host().isEmpty())
        return url.toLocalFile();
    const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
    return QFile::decodeName(QByteArray::fromPercentEncoding(encoded));
}

// Every configuration file in folder and its subfolders, in name order;
// linked folders are not followed.
QStringList configurationsIn(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ReportPaths::isConfiguration(path))
            found.append(path);
    }
    found.sort();
    return found;
}

// Over the window, not in the middle of the screen.
void showInformation(QWidget *window, const QString &title, const QString &text)
{
    QMessageBox::information(window, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

// The question on closing. It answers itself "Ja" when the conversions it
// asks about have ended meanwhile.
bool askYesNo(MainWindow *window, const QString &title, const QString &text)
{
    // Qt's own Yes and No stay English without a translator.
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, window);
    QPushButton *yes = box.addButton(MainWindow::tr("Ja"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(MainWindow::tr("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    bool settled = false;
    QObject::connect(window, &MainWindow::conversionsSettled, &box, [&box, &settled] {
        settled = true;
        box.done(QMessageBox::Yes);
    });
    box.exec();
    return settled || box.clickedButton() == yes;
}

cButton *makeHeaderButton(QWidget *parent, const QString &name, double ratio,
                          const QString &toolTip = QString())
{
    auto *button = new cButton(parent);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setText(QString());
    button->ratio = ratio;
    return button;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_chooseFiles([this] { return askUserForFiles(this); })
    , m_showMessage([this](const QString &title, const QString &text) {
        showInformation(this, title, text);
    })
    , m_ask([this](const QString &title, const QString &text) {
        return askYesNo(this, title, text);
    })
    , m_queue(new ConversionQueue(this))
    , m_chooseSiteTarget([this](const QString &start) {
        return ListWidgetContainer::askForPdf(this, tr("Gesamtdokument speichern unter"), start);
    })
    , m_nextSlice(new QTimer(this))
    , m_compare(new CompareWithEarlier(this))
{
    connect(m_compare, &CompareWithEarlier::notice, this, &MainWindow::showStatus);
    // "Convert all" on a long list makes tasks a few at a time, not all at once.
    m_queue->setMaxInFlight(ConversionQueue::defaultInFlight());
    connectQueue();
    m_nextSlice->setSingleShot(true);
    m_nextSlice->setInterval(0);
    connect(m_nextSlice, &QTimer::timeout, this, &MainWindow::addSlice);
    qRegisterMetaType<ListWidgetContainer *>();

    setObjectName(QStringLiteral("MainWindow"));
    resize(firstSize());
    // Narrower, a row's path field would show hardly more than "….pdf".
    setMinimumWidth(MinimumWidth);
    setStyleSheet(StyleSheet);

    ui.centralWidget = new QWidget(this);
    ui.centralWidget->setObjectName(QStringLiteral("centralWidget"));
    ui.verticalLayout = new QVBoxLayout(ui.centralWidget);
    ui.verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    ui.verticalLayout->setSpacing(LayoutSpacing);
    ui.verticalLayout->setContentsMargins(LayoutMargin, LayoutMargin, LayoutMargin, LayoutMargin);

    ui.widget = new QWidget(ui.centralWidget);
    ui.widget->setObjectName(QStringLiteral("widget"));
    ui.widget->setMinimumSize(0, HeaderMinimumHeight);
    ui.horizontalLayout = new QHBoxLayout(ui.widget);
    ui.horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    ui.horizontalLayout->setSpacing(LayoutSpacing);
    ui.horizontalLayout->setContentsMargins(0, 0, 0, 0);

    ui.btnLogo = makeHeaderButton(ui.widget, QStringLiteral("btnLogo"), LogoRatio);
    QSizePolicy logoPolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    logoPolicy.setHorizontalStretch(0);
    logoPolicy.setVerticalStretch(0);
    ui.btnLogo->setSizePolicy(logoPolicy);
    ui.btnLogo->setFocusPolicy(Qt::NoFocus); // it does nothing
    ui.horizontalLayout->addWidget(ui.btnLogo);
    ui.horizontalLayout->addItem(new QSpacerItem(SpacerWidth, SpacerHeight, QSizePolicy::Expanding,
                                                 QSizePolicy::Minimum));
    ui.btnBrows = makeHeaderButton(ui.widget, QStringLiteral("btnBrows"), 1.0,
                                   tr("Dateien hinzufügen"));
    ui.horizontalLayout->addWidget(ui.btnBrows);
    ui.btnSite = makeHeaderButton(ui.widget, QStringLiteral("btnSite"), 1.0,
                                  tr("Gesamtdokument erstellen \u2026"));
    ui.btnSite->setEnabled(false);
    ui.horizontalLayout->addWidget(ui.btnSite);
    ui.btnKonvert = makeHeaderButton(ui.widget, QStringLiteral("btnKonvert"), 1.0,
                                     tr("Alle konvertieren"));
    ui.horizontalLayout->addWidget(ui.btnKonvert);
    ui.verticalLayout->addWidget(ui.widget);

    ui.listWidget = new QListWidget(ui.centralWidget);
    ui.listWidget->setObjectName(QStringLiteral("listWidget"));
    // Every row has the same size: the list need not ask each one.
    ui.listWidget->setUniformItemSizes(true);
    m_rowDelegate = new RowDelegate(ui.listWidget);
    ui.listWidget->setItemDelegate(m_rowDelegate);
    ListWidgetContainer::shareStyle(ui.listWidget->viewport());
    // The inside narrows when the vertical scroll bar comes: rows follow it.
    ui.listWidget->viewport()->installEventFilter(this);
    ui.verticalLayout->addWidget(ui.listWidget);
    ui.verticalLayout->setStretch(0, HeaderStretch);
    ui.verticalLayout->setStretch(1, ListStretch);

    m_hint = new QLabel(tr("Konfigurationsdateien (.json) oder Ordner hierher ziehen"),
                        ui.listWidget->viewport());
    m_hint->setObjectName(QStringLiteral("listHint"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    auto *hintLayout = new QVBoxLayout(ui.listWidget->viewport());
    hintLayout->addWidget(m_hint);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusText"));
    statusBar()->addWidget(m_status, 1);
    connect(m_status, &QLabel::linkActivated, this, &MainWindow::showNextFailure);
    // A label reached by Tab has no link focused yet: Enter acts at once.
    m_status->installEventFilter(this);

    setCentralWidget(ui.centralWidget);
    setWindowTitle(tr("Belmorand [Beta]"));
    setAcceptDrops(true);

    connect(ui.btnBrows, &QAbstractButton::clicked, this, [this] { openFiles(); });
    connect(ui.btnKonvert, &QAbstractButton::clicked, this, &MainWindow::convertAll);
    connect(ui.btnSite, &QAbstractButton::clicked, this, &MainWindow::makeSiteDocument);
}

MainWindow::~MainWindow()
{
    if (m_site)
        m_site->stop();
    stopConversions();
}

void MainWindow::setFileChooser(FileChooser chooser)
{
    m_chooseFiles = std::move(chooser);
}

void MainWindow::setInfoBox(InfoBox box)
{
    m_showMessage = std::move(box);
}

void MainWindow::setQuestionBox(QuestionBox box)
{
    m_ask = std::move(box);
}

void MainWindow::setSiteTargetChooser(TargetChooser chooser)
{
    m_chooseSiteTarget = std::move(chooser);
}

void MainWindow::setWorkStarter(WorkStarter starter)
{
    m_startWork = std::move(starter);
}

void MainWindow::setTaskStarter(TaskStarter starter)
{
    // A row's conversion is a work item of one task.
    m_queue->setStarter(
            [starter = std::move(starter)](const QVector<convert::Conversion> &conversions,
                                           const std::function<void()> &) {
                for (const convert::Conversion &conversion : conversions)
                    starter(conversion.task, conversion.sourcePath, conversion.pdfPath);
            });
}

void MainWindow::connectQueue()
{
    connect(m_queue, &ConversionQueue::progressed, this, [this](quint64 job, int step) {
        if (ListWidgetContainer *row = rowOf(job))
            row->setPbarValue(step);
    });
    connect(m_queue, &ConversionQueue::reportWritten, this, [this](const ConversionJob &job) {
        if (ListWidgetContainer *row = rowOf(job.id))
            row->conversionFinished();
    });
    connect(m_queue, &ConversionQueue::jobWarned, this,
            [this](const ConversionJob &job, const QString &warning) {
                if (ListWidgetContainer *row = rowOf(job.id))
                    row->conversionWarned(warning);
            });
    connect(m_queue, &ConversionQueue::jobFailed, this,
            [this](const ConversionJob &job, const QString &reason) {
                if (ListWidgetContainer *row = rowOf(job.id))
                    row->conversionFailed(reason);
            });
    connect(m_queue, &ConversionQueue::jobEnded, this, [this](const ConversionJob &job) {
        if (const QPointer<ListWidgetContainer> row = m_rowOfJob.take(job.id))
            m_jobOfRow.remove(row);
        showProgress();
    });
    connect(m_queue, &ConversionQueue::settled, this, [this] {
        emit conversionsSettled();
        if (m_closing && isVisible())
            close();
    });
}

ListWidgetContainer *MainWindow::rowOf(quint64 job) const
{
    return m_rowOfJob.value(job);
}

void MainWindow::stopConversions()
{
    m_queue->stop();
}

bool MainWindow::conversionsPending() const
{
    return !m_queue->isSettled();
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (m_closing || (!conversionsPending() && !siteDocumentRunning())) {
        e->setAccepted(!conversionsPending());
        return;
    }
    if (m_ask
        && !m_ask(tr("Belmorand [Beta]"),
                  tr("Es sind noch Konvertierungen offen. Sollen sie abgebrochen werden?\n\n"
                     "Wartende Konvertierungen beginnen dann nicht mehr; laufende werden "
                     "noch fertig geschrieben, bevor das Programm endet."))) {
        e->ignore();
        return;
    }
    beginClosing();
    e->setAccepted(!conversionsPending());
}

void MainWindow::beginClosing()
{
    // The window stays up until the running reports are written, so that
    // nobody takes it for done and pulls the stick; then it closes.
    m_closing = true;
    m_nextSlice->stop();
    m_adding.clear();
    m_addingDone = 0;
    m_addingTotal = 0;
    m_queue->dropQueued();
    // The site document is not finished: it leaves nothing behind.
    if (m_site)
        m_site->stop();
    ui.centralWidget->setEnabled(false);
    setAcceptDrops(false);
    showProgress();
}

// By value, like convert::run().
void MainWindow::addFile(QString path)
{
    addFiles({std::move(path)});
}

void MainWindow::addFiles(const QStringList &paths)
{
    queueAdding(paths, false);
}

void MainWindow::queueAdding(const QStringList &paths, bool dropped)
{
    if (m_closing)
        return;
    const bool idle = m_adding.isEmpty();
    AddBatch batch;
    batch.paths = paths;
    batch.dropped = dropped;
    m_adding.append(batch);
    m_addingTotal += int(paths.size());
    // A few files stand at once; more come slice by slice. A drop or a
    // choice made meanwhile waits its turn behind those under way.
    if (idle)
        addSlice();
}

void MainWindow::addSlice()
{
    QElapsedTimer clock;
    clock.start();
    QList<AddBatch> done;
    while (!m_adding.isEmpty() && clock.elapsed() < AddingSliceMs) {
        AddBatch &batch = m_adding.first();
        const int chunk = qMin(RowsPerChunk, int(batch.paths.size()) - batch.next);
        addChunk(&batch, chunk);
        m_addingDone += chunk;
        if (batch.next == batch.paths.size())
            done.append(m_adding.takeFirst());
    }
    QStringList notes;
    for (const AddBatch &batch : qAsConst(done))
        notes.append(batchNote(batch));
    notes.removeAll(QString());
    m_addingNotes.append(notes);
    if (m_adding.isEmpty()) {
        m_addingDone = 0;
        m_addingTotal = 0;
        showProgress();
        // What was left out, once every file given has been looked at.
        if (!m_addingNotes.isEmpty())
            showStatus(m_addingNotes.join(QLatin1Char(' ')));
        m_addingNotes.clear();
    } else {
        showProgress();
        m_nextSlice->start();
    }
    for (const AddBatch &batch : qAsConst(done))
        tellDuplicates(batch);
}

void MainWindow::addChunk(AddBatch *batch, int count)
{
    QStringList sources;
    QStringList targets;
    for (const int end = batch->next + count; batch->next < end; ++batch->next) {
        const QString &path = batch->paths.at(batch->next);
        if (!ReportPaths::isConfiguration(path)) {
            if (!path.isEmpty())
                batch->skipped.append(FileNames::forDisplay(QFileInfo(path).fileName()));
            continue;
        }
        const QString target = ReportPaths::besideSource(path);
        const QString identity = ConversionQueue::reportIdentity(target);
        if (fileList.contains(identity)) {
            batch->refused.append(target);
            continue;
        }
        fileList.append(identity);
        sources.append(path);
        targets.append(target);
    }
    if (sources.isEmpty())
        return;
    // One insertion for the chunk: a visible list places all its rows again
    // after each insertion.
    const QSize size = rowSize();
    m_rowDelegate->setRowSize(size);
    const int first = ui.listWidget->count();
    QStringList blanks;
    for (int i = 0; i < sources.size(); ++i)
        blanks.append(QString());
    ui.listWidget->insertItems(first, blanks);
    for (int i = 0; i < sources.size(); ++i) {
        QListWidgetItem *item = ui.listWidget->item(first + i);
        item->setSizeHint(size);
        addRow(item, sources.at(i), targets.at(i));
    }
    batch->added += int(sources.size());
    showHint();
}

void MainWindow::addRow(QListWidgetItem *item, const QString &source, const QString &target)
{
    // Made inside the list, where it will stand: no move to it afterwards.
    auto *row = new ListWidgetContainer(ui.listWidget->viewport(), target, source);
    connect(row, &ListWidgetContainer::deleteMe, row, [this, row, item] { removeRow(row, item); });
    connect(row, &ListWidgetContainer::konvertMe, this, [this, row] { convertSingle(row); });
    connect(row, &ListWidgetContainer::compareMe, this, [this, row] { compareWithEarlier(row); });
    connect(row, &ListWidgetContainer::notice, this, &MainWindow::showStatus);
    // Tab may lead to a row below the visible part: Enter there would
    // convert a row one cannot see.
    connect(row, &ListWidgetContainer::partFocused, this,
            [this, item] { ui.listWidget->scrollToItem(item); });
    // The lambda remembers the target the list knows for this row.
    connect(row, &ListWidgetContainer::newName, this,
            [this, row, current = target](const QString &newTarget) mutable {
                if (retarget(current, newTarget))
                    current = newTarget;
                else
                    row->setPath(current);
                // A new target puts a converted row back to open, once the
                // row has heard the answer.
                QMetaObject::invokeMethod(this, &MainWindow::showProgress, Qt::QueuedConnection);
            });
    ui.listWidget->setItemWidget(item, row);
}

QString MainWindow::batchNote(const AddBatch &batch) const
{
    if (batch.dropped && batch.added == 0 && batch.refused.isEmpty())
        return tr("Nichts hinzugefügt: keine Konfigurationsdatei (.json) in der Ablage.");
    if (batch.skipped.isEmpty())
        return QString();
    QString names = batch.skipped.mid(0, MaxNamedSkipped).join(QStringLiteral(", "));
    if (batch.skipped.size() > MaxNamedSkipped)
        names += tr(" und %1 weitere").arg(batch.skipped.size() - MaxNamedSkipped);
    return tr("übergangen: %1 (keine .json-Datei)").arg(names);
}

void MainWindow::tellDuplicates(const AddBatch &batch)
{
    if (!batch.dropped) {
        reportDuplicates(batch.refused);
        return;
    }
    // The source of the drag waits for the drop to end: the box comes after.
    QMetaObject::invokeMethod(
            this, [this, refused = batch.refused] { reportDuplicates(refused); },
            Qt::QueuedConnection);
}

void MainWindow::removeRow(ListWidgetContainer *row, QListWidgetItem *item)
{
    fileList.removeOne(ConversionQueue::reportIdentity(row->path()));
    dropConversion(row);
    // The focus goes to the same part of the next row (or of the one before,
    // at the end), not wherever Qt would pass it: hiding the focused row
    // would hand it to the next row's path field, all its text selected.
    const ListWidgetContainer::Part part = row->focusedPart();
    if (part != ListWidgetContainer::Part::None)
        QApplication::focusWidget()->clearFocus();
    const int index = ui.listWidget->row(item);
    delete item;
    ListWidgetContainer *next = rowAt(qMin(index, ui.listWidget->count() - 1));
    if (part != ListWidgetContainer::Part::None && next)
        next->focusPart(part);
    showHint();
    showProgress();
}

void MainWindow::dropConversion(ListWidgetContainer *row)
{
    const auto job = m_jobOfRow.constFind(row);
    if (job == m_jobOfRow.constEnd())
        return;
    m_rowOfJob.remove(job.value());
    // Its end is no longer counted; a task that has begun stops at its next
    // step, and the next task for the same report waits for its end.
    m_queue->withdraw(job.value());
    m_jobOfRow.erase(job);
    showProgress();
}

bool MainWindow::retarget(const QString &oldTarget, const QString &newTarget)
{
    const QString oldIdentity = ConversionQueue::reportIdentity(oldTarget);
    const QString newIdentity = ConversionQueue::reportIdentity(newTarget);
    if (newIdentity == oldIdentity)
        return true;
    if (fileList.contains(newIdentity)) {
        reportDuplicates({newTarget});
        return false;
    }
    const int index = fileList.indexOf(oldIdentity);
    if (index >= 0)
        fileList[index] = newIdentity;
    else
        fileList.append(newIdentity);
    return true;
}

void MainWindow::reportDuplicates(const QStringList &targets)
{
    if (targets.isEmpty() || !m_showMessage)
        return;
    if (targets.size() == 1) {
        // "befindest" kept on purpose: earlier configuration tools say it so.
        m_showMessage(QStringLiteral("Fehler"),
                      QStringLiteral("Die Datei ") + targets.first()
                              + QStringLiteral(" befindest sich schon in der Liste"));
        return;
    }
    QStringList lines = targets.mid(0, MaxNamedDuplicates);
    if (targets.size() > MaxNamedDuplicates)
        lines.append(tr("und %1 weitere").arg(targets.size() - MaxNamedDuplicates));
    m_showMessage(QStringLiteral("Fehler"), tr("Diese Dateien befinden sich schon in der Liste:")
                                                    + QLatin1Char('\n')
                                                    + lines.join(QLatin1Char('\n')));
}

void MainWindow::openFiles()
{
    addFiles(m_chooseFiles ? m_chooseFiles() : QStringList());
}

void MainWindow::convertAll()
{
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        auto *row = qobject_cast<ListWidgetContainer *>(
                ui.listWidget->itemWidget(ui.listWidget->item(i)));
        if (!row) {
            qDebug() << "ObjectCast ListWidgetContainer fehlgeschlagen";
            continue;
        }
        // A finished row is converted again only by its own button.
        if (row->isAtRest())
            convertSingle(row);
    }
}

void MainWindow::convertSingle(ListWidgetContainer *W)
{
    // A row is marked the moment its task is queued: the progress bar moves
    // only when the task has begun, too late to stop a second start.
    if (!W || !W->canStart())
        return;

    W->setPbarRange(0, convert::ProgressSteps);
    W->markStarted();
    if (m_queue->isSettled())
        m_countsBefore = {m_queue->startedCount(), m_queue->endedCount()};
    ConversionJob job;
    job.source = W->sourcePath();
    job.target = W->path();
    const quint64 id = m_queue->add(job);
    m_jobOfRow.insert(W, id);
    m_rowOfJob.insert(id, W);
    showProgress();
}

void MainWindow::compareWithEarlier(ListWidgetContainer *row)
{
    m_compare->compare(row->sourcePath(), row->path());
}

void MainWindow::showProgress()
{
    if (m_closing) {
        const int running = m_queue->startedCount() - m_queue->endedCount();
        showStatus(running == 1 ? tr("Wird beendet \u2026 noch 1 Bericht")
                                : tr("Wird beendet \u2026 noch %1 Berichte").arg(running));
        return;
    }
    if (!m_adding.isEmpty()) {
        showStatus(tr("Füge hinzu \u2026 (%1 von %2)").arg(m_addingDone).arg(m_addingTotal));
        return;
    }
    if (siteDocumentRunning()) {
        showStatus(tr("Gesamtdokument \u2026 (%1 von %2)").arg(m_siteDone).arg(m_siteTotal));
        return;
    }
    // While conversions run: how far the ones started since the window was
    // last idle are.
    const int started = m_queue->startedCount() - m_countsBefore.started;
    const int ended = m_queue->endedCount() - m_countsBefore.ended;
    if (ended < started) {
        const int current = qMin(ended + 1, started);
        showStatus(tr("Konvertiere \u2026 (%1 von %2)").arg(current).arg(started));
        return;
    }
    showSummary();
}

MainWindow::RowCounts MainWindow::countRows() const
{
    RowCounts counts;
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        const ListWidgetContainer *row = rowAt(i);
        if (!row)
            continue;
        switch (row->conversion()) {
        case ListWidgetContainer::Conversion::Finished:
            ++counts.converted;
            if (!row->warning().isEmpty())
                ++counts.warned;
            break;
        case ListWidgetContainer::Conversion::Failed:
            ++counts.failed;
            break;
        case ListWidgetContainer::Conversion::Idle:
            ++counts.open;
            break;
        case ListWidgetContainer::Conversion::Started:
            break;
        }
    }
    return counts;
}

void MainWindow::showSummary()
{
    if (!m_siteNote.isEmpty()) {
        const QString document = m_siteDocument;
        showStatus(m_siteNote);
        m_siteDocument = document;
        m_status->setFocusPolicy(document.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
        return;
    }
    // The rows as they are now; nothing until one has been converted.
    const RowCounts counts = countRows();
    if (counts.converted == 0 && counts.failed == 0) {
        showStatus(QString());
        return;
    }
    QString failed = tr("%1 fehlgeschlagen").arg(counts.failed).toHtmlEscaped();
    // The failures lead to the failed rows, by a click or by Tab and Enter.
    if (counts.failed > 0)
        failed = QStringLiteral("<a href=\"#failed\" style=\"color:%1\">%2</a>")
                         .arg(FailureColor, failed);
    QString converted = tr("%1 konvertiert").arg(counts.converted);
    if (counts.warned > 0)
        converted += tr(" (%1 mit Warnung)").arg(counts.warned);
    QString text = converted.toHtmlEscaped() + QStringLiteral(", ") + failed;
    if (counts.open > 0)
        text += tr(", %1 offen").arg(counts.open).toHtmlEscaped();
    m_status->setTextFormat(Qt::RichText);
    m_status->setTextInteractionFlags(counts.failed > 0 ? LinkInteraction : Qt::NoTextInteraction);
    m_status->setText(text);
}

void MainWindow::showStatus(const QString &text)
{
    m_siteDocument.clear();
    m_status->setTextFormat(Qt::PlainText);
    m_status->setTextInteractionFlags(Qt::NoTextInteraction);
    m_status->setText(text);
}

void MainWindow::showNextFailure()
{
    // After the row that has the focus, else after the one shown last.
    int from = -1;
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        ListWidgetContainer *row = rowAt(i);
        if (row && (row->focusedPart() != ListWidgetContainer::Part::None)) {
            from = i;
            break;
        }
        if (row && row == m_lastFailureShown)
            from = i;
    }
    const int count = ui.listWidget->count();
    for (int step = 1; step <= count; ++step) {
        const int index = (from + step) % count;
        ListWidgetContainer *row = rowAt(index);
        if (row && row->conversion() == ListWidgetContainer::Conversion::Failed) {
            ui.listWidget->scrollToItem(ui.listWidget->item(index));
            row->focusPart(ListWidgetContainer::Part::PathField);
            m_lastFailureShown = row;
            return;
        }
    }
}

ListWidgetContainer *MainWindow::rowAt(int index) const
{
    return qobject_cast<ListWidgetContainer *>(
            ui.listWidget->itemWidget(ui.listWidget->item(index)));
}

void MainWindow::showHint()
{
    m_hint->setVisible(ui.listWidget->count() == 0);
    enableSiteButton();
}

void MainWindow::enableSiteButton()
{
    ui.btnSite->setEnabled(ui.listWidget->count() > 0 && !siteDocumentRunning());
}

bool MainWindow::siteDocumentRunning() const
{
    return m_site && m_site->isRunning();
}

// Every row's configuration in the list's order, into one document the user
// names; the rows and their reports are untouched. The window goes on
// meanwhile: the document holds the files it was started with.
void MainWindow::makeSiteDocument()
{
    if (siteDocumentRunning() || ui.listWidget->count() == 0 || m_closing)
        return;
    QStringList files;
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        if (const ListWidgetContainer *row = rowAt(i))
            files.append(row->sourcePath());
    }
    const QString start = QFileInfo(files.constFirst())
                                  .absoluteDir()
                                  .filePath(tr("Gesamtdokument") + ReportPaths::PdfSuffix);
    const QString chosen = m_chooseSiteTarget ? m_chooseSiteTarget(start) : QString();
    if (chosen.isEmpty())
        return;
    auto *site = new SiteReport(QDir::cleanPath(QFileInfo(chosen).absoluteFilePath()), QString(),
                                false, this);
    if (m_startWork)
        site->setStarter(m_startWork);
    QString reason;
    if (!site->reserve(&reason)) {
        delete site;
        tellSiteDocument(reason, QString());
        return;
    }
    m_site = site;
    m_siteDone = 0;
    m_siteTotal = int(files.size());
    connect(site, &SiteReport::deviceDone, this, [this](const QString &, int done) {
        m_siteDone = done;
        showProgress();
    });
    connect(site, &SiteReport::written, this, [this, site](const QString &target) {
        tellSiteDocument(tr("Gesamtdokument geschrieben: %1 (%2 Geräte, %3 nicht enthalten)")
                                 .arg(FileNames::forDisplay(QFileInfo(target).fileName()))
                                 .arg(site->convertedCount())
                                 .arg(site->failedCount()),
                         target);
    });
    connect(site, &SiteReport::failed, this,
            [this](const QString &why) { tellSiteDocument(why, QString()); });
    connect(site, &SiteReport::done, this, [this, site] {
        site->deleteLater();
        enableSiteButton();
        showProgress();
    });
    site->start(files);
    enableSiteButton();
    showProgress();
}

// Said in the status line until the list or its conversions change; a
// written document opens from there, by a double click or Enter.
void MainWindow::tellSiteDocument(const QString &text, const QString &document)
{
    m_siteNote = text;
    m_siteDocument = document;
    showProgress();
}

void MainWindow::openSiteDocument()
{
    const QString document = m_siteDocument;
    ListWidgetContainer::openOnDesktop(
            ListWidgetContainer::fileUrl(document),
            [this, document](ListWidgetContainer::OpenResult result) {
                if (result != ListWidgetContainer::OpenResult::Opened)
                    showStatus(tr("Das Gesamtdokument %1 lässt sich nicht öffnen: kein Programm "
                                  "dafür gefunden.")
                                       .arg(FileNames::forDisplay(document)));
            });
}

QSize MainWindow::firstSize() const
{
    // Scaled up (QT_SCALE_FACTOR=2, say) the window might not fit the screen;
    // its status line would be out of sight.
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize wanted(WindowWidth, WindowHeight);
    if (!where)
        return wanted;
    return wanted.boundedTo(where->availableGeometry().size() - QSize(0, TitleBarAllowance));
}

QSize MainWindow::rowSize() const
{
    // The visible inside of the list, less what its frame leaves of the margin.
    const int gap = qMax(0, RowWidthMargin - 2 * ui.listWidget->frameWidth());
    return {ui.listWidget->viewport()->width() - gap, RowHeight};
}

void MainWindow::fitRows()
{
    const QSize hint = rowSize();
    m_rowDelegate->setRowSize(hint);
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        QListWidgetItem *item = ui.listWidget->item(i);
        if (item->sizeHint() != hint)
            item->setSizeHint(hint);
    }
}

bool MainWindow::opensSiteDocument(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.listWidget->viewport() && event->type() == QEvent::Resize)
        fitRows();
    if (watched == m_status && !m_siteDocument.isEmpty() && opensSiteDocument(event)) {
        openSiteDocument();
        return true;
    }
    if (watched == m_status && event->type() == QEvent::KeyPress
        && m_status->textInteractionFlags() == LinkInteraction) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            showNextFailure();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent *)
{
    fitRows();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *e)
{
    qDebug() << "DragEnterEvent";
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *e)
{
    qDebug() << "Dropevent";
    addDropped(e->mimeData()->urls());
}

void MainWindow::addDropped(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        const QString path = droppedPath(url);
        qDebug() << "Dropped file:" << path;
        const bool folder = !path.isEmpty() && QFileInfo(path).isDir();
        if (folder)
            paths.append(configurationsIn(path));
        else
            paths.append(path);
    }
    queueAdding(paths, true);
}
