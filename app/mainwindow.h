#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "engine/convert.h"

#include <functional>

QT_BEGIN_NAMESPACE
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QResizeEvent;
class QTimer;
class QVBoxLayout;
QT_END_NAMESPACE

QT_BEGIN_NAMESPACE
class QUrl;
QT_END_NAMESPACE

class cButton;
class CompareWithEarlier;
class ConversionQueue;
class RowDelegate;
class convert;
class ListWidgetContainer;
class SiteReport;

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
    // Where the site document goes: asked starting from start, with ".pdf"
    // added and an existing file agreed to be replaced; empty for cancelled.
    using TargetChooser = std::function<QString(const QString &start)>;
    void setSiteTargetChooser(TargetChooser chooser);
    // Hands the site document's work items to the pool (the conversions of
    // one volume in order, then what follows them), as convert::startInOrder.
    using WorkStarter = std::function<void(const QVector<convert::Conversion> &conversions,
                                           const std::function<void()> &afterwards)>;
    void setWorkStarter(WorkStarter starter);

    // The configuration file at path becomes a row, unless it is no ".json"
    // file or its PDF is in the list already.
    void addFile(QString path);
    // The same for several files; the duplicates among them are told of in
    // one box, the files that are no configurations in the status line. A
    // few become rows at once; many come in slices between events, after
    // any still coming from before.
    void addFiles(const QStringList &paths);

    // Waiting conversions are dropped, running ones are waited for; then
    // every task object is gone.
    void stopConversions();
    // Some conversion of a row in the list has been started and has not
    // ended yet.
    bool conversionsPending() const;

signals:
    // The last pending conversion has ended.
    void conversionsSettled();

public slots:
    void convertAll();
    void convertSingle(ListWidgetContainer *W);
    // A change report from an earlier state of the row's configuration,
    // beside its report; asked for and told of by m_compare.
    void compareWithEarlier(ListWidgetContainer *row);

protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    // Files on their way to become rows, from one drop or one choice.
    struct AddBatch
    {
        QStringList paths;
        bool dropped = false;
        int next = 0; // the next path to take
        QStringList refused; // targets already in the list
        QStringList skipped; // names of files that are no configurations
        int added = 0;
    };

    // "Ja" to closing: waiting conversions are dropped, the window waits,
    // switched off, for the running ones.
    void beginClosing();
    void makeSiteDocument();
    bool siteDocumentRunning() const;
    void enableSiteButton();
    void tellSiteDocument(const QString &text, const QString &document);
    void openSiteDocument();
    static bool opensSiteDocument(QEvent *event);
    void openFiles();
    void queueAdding(const QStringList &paths, bool dropped);
    // Adds rows for a while, then lets the window hear its events.
    void addSlice();
    // Takes the batch's next count paths.
    void addChunk(AddBatch *batch, int count);
    void addRow(QListWidgetItem *item, const QString &source, const QString &target);
    // What the status line says of a batch's files left out, if anything.
    QString batchNote(const AddBatch &batch) const;
    // The box for a batch's files already in the list.
    void tellDuplicates(const AddBatch &batch);
    void reportDuplicates(const QStringList &targets);
    void addDropped(const QList<QUrl> &urls);
    void removeRow(ListWidgetContainer *row, QListWidgetItem *item);
    // The row's task will write nothing: dropped if it waits, stopped if it runs.
    void dropConversion(ListWidgetContainer *row);
    void connectQueue();
    // The row a job of the queue converts, if it is still there.
    ListWidgetContainer *rowOf(quint64 job) const;
    // How many rows stand where.
    struct RowCounts
    {
        int converted = 0;
        int warned = 0; // of those converted
        int failed = 0;
        int open = 0; // never converted, or since given a new target
    };
    // The status line as things stand: adding, converting, or the rows.
    void showProgress();
    RowCounts countRows() const;
    void showSummary();
    // Says text until the next change of the list or its conversions.
    void showStatus(const QString &text);
    ListWidgetContainer *rowAt(int index) const;
    // Scrolls to the next failed row, from the focus on, and focuses it.
    void showNextFailure();
    void showHint();
    bool retarget(const QString &oldTarget, const QString &newTarget);
    // The window's size at the start, within the screen.
    QSize firstSize() const;
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
        cButton *btnSite = nullptr;
        cButton *btnKonvert = nullptr;
        QListWidget *listWidget = nullptr;
    };
    Form ui;

    // The target PDF of every row as the file it names (folder links and
    // ".." resolved), in the order of adding: no two rows may write the same
    // file.
    QStringList fileList;

    QLabel *m_status = nullptr;
    QLabel *m_hint = nullptr;
    // The job each row started last, and back, until it has ended.
    QHash<const ListWidgetContainer *, quint64> m_jobOfRow;
    QHash<quint64, QPointer<ListWidgetContainer>> m_rowOfJob;
    // The queue's counts when the window was last idle: the status line
    // tells of the conversions since.
    struct Counts
    {
        int started = 0;
        int ended = 0;
    };
    Counts m_countsBefore;

    FileChooser m_chooseFiles;
    InfoBox m_showMessage;
    QuestionBox m_ask;
    // Runs the rows' conversions: one at a time per report, counted.
    ConversionQueue *m_queue;
    // The batches not yet added, in the order they came, and how far along
    // they are together.
    QList<AddBatch> m_adding;
    int m_addingDone = 0;
    int m_addingTotal = 0;
    // What the batches added meanwhile left out, said when all are added.
    QStringList m_addingNotes;
    QPointer<ListWidgetContainer> m_lastFailureShown;
    bool m_closing = false;
    // The site document being made, how far, and what became of the last.
    QPointer<SiteReport> m_site;
    int m_siteDone = 0;
    int m_siteTotal = 0;
    QString m_siteNote;
    QString m_siteDocument; // written, while the note says so
    TargetChooser m_chooseSiteTarget;
    WorkStarter m_startWork;
    QTimer *m_nextSlice;
    RowDelegate *m_rowDelegate = nullptr;
    CompareWithEarlier *m_compare;
};
