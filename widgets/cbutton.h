#pragma once

#include <QEvent>
#include <QPoint>
#include <QPushButton>

QT_BEGIN_NAMESPACE
class QKeyEvent;
class QMouseEvent;
class QResizeEvent;
QT_END_NAMESPACE

// The push button of the whole program. It draws nothing itself (the parent's
// style sheet gives it border images by object name), keeps its width at a
// fixed ratio of its height, and does not click when the pointer was dragged.
class cButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(bool state READ isStateOn WRITE changeState)

public:
    // A release this far or farther from where the pointer rested before the
    // press (in x or in y) is a drag, not a click.
    static constexpr int DragDistance = 20;

    explicit cButton(QWidget *parent = nullptr);

    // Width divided by height, enforced at every resize; set by the owner.
    double ratio = 1.0;
    // When true the height follows the width instead.
    bool heightFollowsWidth = false;

    bool isStateOn() const { return state; }

signals:
    void signalMouseEvent(QEvent::Type t, QPoint p);
    void stateOn();

public slots:
    void changeState(bool b);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void leaveEvent(QEvent *e) override;
    // Enter and Return press a focused button, like the space bar.
    void keyPressEvent(QKeyEvent *e) override;

private:
    QPoint lastGlobalPos {-1, -1};
    // lastGlobalPos holds where the pointer rests over this button now.
    bool restKnown = false;
    bool mouseHeld = false;
    bool state = false;
};
