#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>

QT_BEGIN_NAMESPACE
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QHBoxLayout;
class QListWidget;
class QListWidgetItem;
class QResizeEvent;
class QVBoxLayout;
QT_END_NAMESPACE

class cButton;
class convert;
class ListWidgetContainer;

// The only window: a header with the logo, "open files" and "convert all",
// above the list of file rows. Every row stands for one configuration file and
// the PDF it becomes; conversions run as tasks on the global thread pool.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The ways out to the user and to the pool, replaceable so that tests
    // need neither modal dialogs nor real conversions.
    using FileChooser = std::function<QStringList()>;
    using InfoBox = std::function<void(const QString &title, const QString &text)>;
    // True for "Ja".
    using QuestionBox = std::function<bool(const QString &title, const QString &text)>;
    using TaskStarter
            = std::function<void(convert *task, const QString &sourcePath, const QString &pdfPath)>;

    explicit MainWindow(QWidget *parent = nullptr);
    // Drops the conversions still waiting and waits for the running ones.
    ~MainWindow() override;

    void setFileChooser(FileChooser chooser);
    void setInfoBox(InfoBox box);
    void setQuestionBox(QuestionBox box);
    void setTaskStarter(TaskStarter starter);

    // The configuration file at path becomes a row, unless it is no ".json"
    // file or its PDF is in the list already.
    void addFile(QString path);

    // Waiting conversions are dropped, running ones are waited for; then
    // every task object is gone.
    void stopConversions();
    // Some conversion has been started and has not ended yet.
    bool conversionsPending() const;

public slots:
    void convertAll();
    void convertSingle(ListWidgetContainer *W);

protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void openFiles();
    void reportDuplicate(const QString &target);
    void removeRow(ListWidgetContainer *row, QListWidgetItem *item);
    bool retarget(const QString &oldTarget, const QString &newTarget);
    QSize rowSize() const;
    void fitRows();

    struct Form
    {
        QWidget *centralWidget = nullptr;
        QVBoxLayout *verticalLayout = nullptr;
        QWidget *widget = nullptr;
        QHBoxLayout *horizontalLayout = nullptr;
        cButton *btnLogo = nullptr;
        cButton *btnBrows = nullptr;
        cButton *btnKonvert = nullptr;
        QListWidget *listWidget = nullptr;
    };
    Form ui;

    // The target PDF of every row, in the order of adding: no two rows may
    // write the same file.
    QStringList fileList;
    // Every task started and not yet known to be gone; tasks that ran delete
    // themselves, tasks dropped from the pool's queue never run.
    QList<QPointer<convert>> m_tasks;

    FileChooser m_chooseFiles;
    InfoBox m_showMessage;
    QuestionBox m_ask;
    TaskStarter m_startTask;
};
