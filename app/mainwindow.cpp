#include "app/mainwindow.h"

#include "engine/convert.h"
#include "widgets/cbutton.h"
#include "widgets/listwidgetcontainer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QSpacerItem>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int WindowWidth = 709;
constexpr int WindowHeight = 580;
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

const QString JsonSuffix = QStringLiteral(".json");
const QString PdfSuffix = QStringLiteral(".pdf");

const QString StyleSheet = QStringLiteral(
        "QPushButton#btnLogo{border-image:url(:/img/quorvalisLogoMain.png);}\n\n"
        "QPushButton#btnBrows{border-image:url(:/img/Folder_icon.png);}\n"
        "QPushButton#btnBrows:pressed{border-image:url(:/img/Folder_icon_blau.png);}\n\n"
        "QPushButton#btnKonvert{border-image:url(:/img/IconSwitch.png);}\n"
        "QPushButton#btnKonvert:pressed{border-image:url(:/img/IconSwitchInv.png);}");

QStringList askUserForFiles()
{
    return QFileDialog::getOpenFileNames(nullptr, QString(), QString(), QString(), nullptr,
                                         QFileDialog::Options());
}

void showInformation(const QString &title, const QString &text)
{
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

bool askYesNo(const QString &title, const QString &text)
{
    // Qt's own Yes and No stay English without a translator.
    QMessageBox box(QMessageBox::Question, title, text);
    QPushButton *yes = box.addButton(MainWindow::tr("Ja"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(MainWindow::tr("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

cButton *makeHeaderButton(QWidget *parent, const QString &name, double ratio)
{
    auto *button = new cButton(parent);
    button->setObjectName(name);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setText(QString());
    button->ratio = ratio;
    return button;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_chooseFiles(askUserForFiles)
    , m_showMessage(showInformation)
    , m_ask(askYesNo)
    , m_startTask(&convert::start)
{
    qRegisterMetaType<ListWidgetContainer *>();

    setObjectName(QStringLiteral("MainWindow"));
    resize(WindowWidth, WindowHeight);
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
    ui.horizontalLayout->addWidget(ui.btnLogo);
    ui.horizontalLayout->addItem(new QSpacerItem(SpacerWidth, SpacerHeight, QSizePolicy::Expanding,
                                                 QSizePolicy::Minimum));
    ui.btnBrows = makeHeaderButton(ui.widget, QStringLiteral("btnBrows"), 1.0);
    ui.horizontalLayout->addWidget(ui.btnBrows);
    ui.btnKonvert = makeHeaderButton(ui.widget, QStringLiteral("btnKonvert"), 1.0);
    ui.horizontalLayout->addWidget(ui.btnKonvert);
    ui.verticalLayout->addWidget(ui.widget);

    ui.listWidget = new QListWidget(ui.centralWidget);
    ui.listWidget->setObjectName(QStringLiteral("listWidget"));
    // The inside narrows when the vertical scroll bar comes: rows follow it.
    ui.listWidget->viewport()->installEventFilter(this);
    ui.verticalLayout->addWidget(ui.listWidget);
    ui.verticalLayout->setStretch(0, HeaderStretch);
    ui.verticalLayout->setStretch(1, ListStretch);

    setCentralWidget(ui.centralWidget);
    setWindowTitle(tr("Belmorand [Beta]"));
    setAcceptDrops(true);

    connect(ui.btnBrows, &QAbstractButton::clicked, this, [this] { openFiles(); });
    connect(ui.btnKonvert, &QAbstractButton::clicked, this, &MainWindow::convertAll);
}

MainWindow::~MainWindow()
{
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

void MainWindow::setTaskStarter(TaskStarter starter)
{
    m_startTask = std::move(starter);
}

void MainWindow::stopConversions()
{
    // Order matters: a task object may go only once its run() has returned.
    QThreadPool::globalInstance()->clear();
    QThreadPool::globalInstance()->waitForDone();
    // Tasks that ran have asked for their deletion; let it happen now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // What is left never ran (dropped from the queue) or could not be
    // collected above; no run() touches these any more.
    for (const QPointer<convert> &task : qAsConst(m_tasks))
        delete task.data();
    m_tasks.clear();
}

bool MainWindow::conversionsPending() const
{
    // Tasks that ended have deleted themselves.
    for (const QPointer<convert> &task : m_tasks) {
        if (!task.isNull())
            return true;
    }
    return false;
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (conversionsPending() && m_ask
        && !m_ask(tr("Belmorand [Beta]"),
                  tr("Es sind noch Konvertierungen offen. Sollen sie abgebrochen werden?\n\n"
                     "Wartende Konvertierungen beginnen dann nicht mehr; laufende werden "
                     "noch fertig geschrieben, bevor das Programm endet."))) {
        e->ignore();
        return;
    }
    e->accept();
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): by value, like convert::run()
void MainWindow::addFile(QString path)
{
    if (!path.endsWith(JsonSuffix))
        return;
    // Only the suffix: a ".json" inside a folder name stays as it is.
    const QString target = path.left(path.size() - JsonSuffix.size()) + PdfSuffix;
    if (fileList.contains(target)) {
        reportDuplicate(target);
        return;
    }
    fileList.append(target);

    auto *item = new QListWidgetItem(ui.listWidget, QListWidgetItem::Type);
    item->setSizeHint(rowSize());

    auto *row = new ListWidgetContainer(this, target, path);
    connect(row, &ListWidgetContainer::deleteMe, row, [this, row, item] { removeRow(row, item); });
    connect(row, &ListWidgetContainer::konvertMe, this, [this, row] { convertSingle(row); });
    // The lambda remembers the target the list knows for this row.
    connect(row, &ListWidgetContainer::newName, this,
            [this, row, current = target](const QString &newTarget) mutable {
                if (retarget(current, newTarget))
                    current = newTarget;
                else
                    row->setPath(current);
            });
    ui.listWidget->setItemWidget(item, row);
}

void MainWindow::removeRow(ListWidgetContainer *row, QListWidgetItem *item)
{
    fileList.removeOne(row->path());
    // Hiding the focused row would pass the focus on to the next row's path
    // field, which takes it with its whole text selected.
    QWidget *focused = QApplication::focusWidget();
    if (focused && row->isAncestorOf(focused))
        focused->clearFocus();
    delete item;
}

bool MainWindow::retarget(const QString &oldTarget, const QString &newTarget)
{
    if (newTarget == oldTarget)
        return true;
    if (fileList.contains(newTarget)) {
        reportDuplicate(newTarget);
        return false;
    }
    const int index = fileList.indexOf(oldTarget);
    if (index >= 0)
        fileList[index] = newTarget;
    else
        fileList.append(newTarget);
    return true;
}

void MainWindow::reportDuplicate(const QString &target)
{
    if (m_showMessage)
        m_showMessage(QStringLiteral("Fehler"),
                      QStringLiteral("Die Datei ") + target
                              + QStringLiteral(" befindest sich schon in der Liste"));
}

void MainWindow::openFiles()
{
    const QStringList paths = m_chooseFiles ? m_chooseFiles() : QStringList();
    for (const QString &path : paths)
        addFile(path);
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
        convertSingle(row);
    }
}

void MainWindow::convertSingle(ListWidgetContainer *W)
{
    // A row is marked the moment its task is queued: the progress bar moves
    // only when the task has begun, too late to stop a second start.
    if (!W || !W->isAtRest())
        return;

    auto *task = new convert;
    W->setPbarRange(0, convert::ProgressSteps);
    W->markStarted();
    connect(task, &convert::newPbarValue, W, &ListWidgetContainer::setPbarValue);
    connect(task, &convert::finished, W, &ListWidgetContainer::conversionFinished);
    connect(task, &convert::abortReason, W, &ListWidgetContainer::conversionFailed);
    connect(task, &convert::aborted, W, [W] { W->conversionFailed(); });

    m_tasks.removeAll(QPointer<convert>());
    m_tasks.append(task);
    m_startTask(task, W->sourcePath(), W->path());
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
    for (int i = 0; i < ui.listWidget->count(); ++i) {
        QListWidgetItem *item = ui.listWidget->item(i);
        if (item->sizeHint() != hint)
            item->setSizeHint(hint);
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.listWidget->viewport() && event->type() == QEvent::Resize)
        fitRows();
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
    const QList<QUrl> urls = e->mimeData()->urls();
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        qDebug() << "Dropped file:" << path;
        addFile(path);
    }
}
