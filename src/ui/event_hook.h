#pragma once

// Hands the events of the controls it watches to a handler of the window, for events the
// controls themselves offer no signal for (a press of a given button, a drop).

#include <QEvent>
#include <QFocusEvent>
#include <QObject>
#include <functional>

namespace tabvoro::ui {

class EventHook : public QObject {
public:
    using Handler = std::function<bool(QObject *watched, QEvent *event)>;
    EventHook(QObject *parent, Handler handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override { return m_handler(watched, event); }

private:
    Handler m_handler;
};

// A focus change inside the window; not the window losing activation to a message box, another
// window or a menu, which must not count as leaving the control.
inline bool leftForAnotherControl(QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

}  // namespace tabvoro::ui
