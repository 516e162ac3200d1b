#pragma once

// A label that reports mouse presses, releases and moves with the button, as the window's
// keyword-mode label and status labels react to them. It keeps the events it reports: a plain
// label passes them on to the window behind it, whose own pointer handling would undo what the
// label's handler did.

#include <QLabel>
#include <QMouseEvent>

namespace tabvoro::ui {

class MouseLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void mousePressed(Qt::MouseButton button);
    void mouseReleased(Qt::MouseButton button);
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        emit mousePressed(event->button());
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        emit mouseReleased(event->button());
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        emit mouseMoved();
        event->accept();
    }
};

}  // namespace tabvoro::ui
