#include "app/module1.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

// Where the pointer went down last and which buttons are held. A drag starts from inside the
// press handler, which has the position but DragWindow is only given a handle; the platform's
// own cursor query may lag behind (or, offscreen, not exist), so the press is remembered here.
struct PointerState {
    QPoint pressAt;
    Qt::MouseButtons buttons;
};
PointerState s_pointer;

class PointerTracker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            s_pointer.pressAt = mouse->globalPosition().toPoint();
            s_pointer.buttons = mouse->buttons();
        } else if (type == QEvent::MouseButtonRelease) {
            s_pointer.buttons = static_cast<QMouseEvent*>(event)->buttons();
        }
        return false;
    }
};

void installPointerTracker()
{
    qApp->installEventFilter(new PointerTracker(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(installPointerTracker)

class ManualDrag;
// The pointer has one button state, so one drag at a time.
ManualDrag* s_drag = nullptr;

// Follows the pointer until the last button is released, keeping the offset between the target's
// top-left corner and the pointer that it had at the press. It watches the whole application
// because the moves go to whichever widget took the press, not necessarily to the target.
class ManualDrag : public QObject {
public:
    ManualDrag(QWidget* target, QPoint pressAt)
        : m_target(target)
        , m_offset(inParent(pressAt) - target->pos())
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!m_target || mouse->buttons() == Qt::NoButton) {
                finish();
                return false;
            }
            m_target->move(inParent(mouse->globalPosition().toPoint()) - m_offset);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
                finish();
            return false;
        case QEvent::ApplicationDeactivate:
            finish();
            return false;
        default:
            return false;
        }
    }

private:
    QPoint inParent(QPoint global) const
    {
        QWidget* parent = m_target->isWindow() ? nullptr : m_target->parentWidget();
        return parent ? parent->mapFromGlobal(global) : global;
    }

    void finish()
    {
        qApp->removeEventFilter(this);
        if (s_drag == this)
            s_drag = nullptr;
        deleteLater();
    }

    QPointer<QWidget> m_target;
    QPoint m_offset;
};

} // namespace

void DragWindow(QWidget* hWnd)
{
    if (!hWnd || s_pointer.buttons == Qt::NoButton || s_drag)
        return;
    if (hWnd->isWindow()) {
        // The window manager's own move is what a title-bar drag does; where the platform has
        // none (offscreen, some Wayland setups) it says so and we move the window ourselves.
        if (QWindow* window = hWnd->windowHandle(); window && window->startSystemMove())
            return;
    }
    s_drag = new ManualDrag(hWnd, s_pointer.pressAt);
}
