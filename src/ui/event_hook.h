#pragma once

// Hands the events of the controls it watches to a handler of the window, for events the
// controls themselves offer no signal for (a press of a given button, a drop).

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

}  // namespace tabvoro::ui
