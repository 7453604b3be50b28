#include "widgets/cbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStyle>

#include <cstdlib>

namespace {

// Where the pointer is on the screen; Qt 6 renamed the event's accessor.
QPoint globalPosition(const QMouseEvent *e)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return e->globalPosition().toPoint();
#else
    return e->globalPos();
#endif
}

} // namespace

cButton::cButton(QWidget *parent)
    : QPushButton(parent)
{
    // Moves must arrive with no button down: they give the rest position that
    // a release is compared with.
    setAttribute(Qt::WA_MouseTracking);
    // Known by name, so that signalMouseEvent can also be queued and spied on.
    qRegisterMetaType<QEvent::Type>("QEvent::Type");
}

void cButton::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint global = globalPosition(e);
    if (!mouseHeld) {
        lastGlobalPos = global;
        restKnown = true;
        return;
    }
    // The base class is left out on purpose: the button stays drawn pressed
    // until the release, wherever the pointer goes.
    emit signalMouseEvent(QEvent::MouseMove, global);
}

// A rest is where the last move over this button left the pointer. It is
// forgotten when the pointer leaves the button and at every release: a button
// that slides under a resting pointer (the row above was removed) or that no
// move has reached yet would otherwise compare the release with a place the
// pointer left long ago, and the click would count as a drag. With no rest
// the press itself is where the pointer rests.
void cButton::mousePressEvent(QMouseEvent *e)
{
    if (!restKnown) {
        lastGlobalPos = globalPosition(e);
        restKnown = true;
    }
    if (e->button() == Qt::LeftButton)
        emit signalMouseEvent(QEvent::MouseButtonPress, lastGlobalPos);
    mouseHeld = true;
    QAbstractButton::mousePressEvent(e);
}

void cButton::mouseReleaseEvent(QMouseEvent *e)
{
    mouseHeld = false;
    restKnown = false;
    const QPoint global = globalPosition(e);
    emit signalMouseEvent(QEvent::MouseButtonRelease, global);

    if (std::abs(lastGlobalPos.x() - global.x()) < DragDistance
        && std::abs(lastGlobalPos.y() - global.y()) < DragDistance) {
        QAbstractButton::mouseReleaseEvent(e);
        return;
    }
    // A drag: the button must look released again, but must not click.
    const bool wasBlocked = blockSignals(true);
    QAbstractButton::mouseReleaseEvent(e);
    blockSignals(wasBlocked);
}

void cButton::leaveEvent(QEvent *e)
{
    // Kept for a release while held (it compares with it), not for a new press.
    restKnown = false;
    QPushButton::leaveEvent(e);
}

void cButton::resizeEvent(QResizeEvent *e)
{
    e->accept();
    if (!heightFollowsWidth) {
        const int width = static_cast<int>(ratio * height());
        setMinimumWidth(width);
        setMaximumWidth(width);
    } else {
        const int newHeight = static_cast<int>(ratio * this->width());
        setMinimumHeight(newHeight);
        setMaximumHeight(newHeight);
    }
    updateGeometry();
}

void cButton::changeState(bool b)
{
    if (b != state && b)
        emit stateOn();
    state = b;
    // The style sheet may select on the property: evaluate it again.
    style()->unpolish(this);
    style()->polish(this);
    repaint();
}

void cButton::keyPressEvent(QKeyEvent *e)
{
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && e->modifiers() == Qt::NoModifier) {
        if (!e->isAutoRepeat())
            animateClick();
        e->accept();
        return;
    }
    QPushButton::keyPressEvent(e);
}
