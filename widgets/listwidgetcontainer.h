#pragma once

#include <QString>
#include <QWidget>

#include <functional>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QProgressBar;
class QResizeEvent;
QT_END_NAMESPACE

class cButton;

// One row of the file list: the target PDF path, shortened at the left, a
// progress bar and the buttons remove, "Speichern unter" and convert. The row
// remembers the configuration file it came from and where its conversion
// stands; the window does the work.
class ListWidgetContainer : public QWidget
{
    Q_OBJECT

public:
    enum class Conversion { Idle, Started, Finished, Failed };

    // Asks the user for another target, starting from the current one; an
    // empty result means cancelled.
    using TargetChooser = std::function<QString(const QString &currentTarget)>;

    ListWidgetContainer(QWidget *parent, QString path, QString sourcePath = QString());
    ~ListWidgetContainer() override;

    QString path() const { return m_path; }
    QString sourcePath() const { return m_sourcePath; }
    // Sets the target without asking, e.g. to take back a refused new name.
    void setPath(const QString &target);

    Conversion conversion() const { return m_conversion; }
    // Idle or failed: a conversion may be started.
    bool isAtRest() const;
    // A task for this row has been queued; it must not be started again, and
    // its target stays until the task has ended.
    void markStarted();

    void setTargetChooser(TargetChooser chooser);

signals:
    void deleteMe();
    void newName(QString s);
    void konvertMe();

public slots:
    void setPbarRange(int min, int max);
    void setPbarValue(int value);
    void conversionFinished();
    // Ignored unless a conversion is under way, so that the reason and the
    // final aborted() of one task are shown once.
    void conversionFailed(const QString &reason = QString());

private slots:
    void setTextElided();

protected:
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askNewName();
    void showFailureText();
    // Idle, the bar at its minimum with the percentage and no error.
    void showAtRest();

    QString m_path;
    QString m_sourcePath;
    QProgressBar *m_progress = nullptr;
    QLineEdit *m_pathField = nullptr;
    cButton *m_newNameButton = nullptr;
    Conversion m_conversion = Conversion::Idle;
    QString m_failure;
    TargetChooser m_chooseTarget;
};
