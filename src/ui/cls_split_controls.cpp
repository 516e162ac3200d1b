#include "ui/cls_split_controls.h"

#include <cmath>
#include <utility>

#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

namespace tabvoro::ui {

namespace {

constexpr double kTwipsPerInch = 1440.0;

const QWidget *containerOf(const QWidget *widget)
{
    return widget->parentWidget() ? widget->parentWidget() : widget;
}

// Conversion between container units and a widget's pixels. Products are formed before the
// division so that whole twips land on the same pixel edge every time.
struct UnitScale {
    double dpiX;
    double dpiY;
    double unitsPerInchX;
    double unitsPerInchY;

    UnitScale(const QWidget *widget, bool containerPixel)
        : dpiX(containerOf(widget)->logicalDpiX()), dpiY(containerOf(widget)->logicalDpiY()),
          unitsPerInchX(containerPixel ? dpiX : kTwipsPerInch),
          unitsPerInchY(containerPixel ? dpiY : kTwipsPerInch)
    {
    }

    int pixelX(double units) const { return static_cast<int>(std::lround(units * dpiX / unitsPerInchX)); }
    int pixelY(double units) const { return static_cast<int>(std::lround(units * dpiY / unitsPerInchY)); }
    float unitsX(int pixels) const { return static_cast<float>(pixels * unitsPerInchX / dpiX); }
    float unitsY(int pixels) const { return static_cast<float>(pixels * unitsPerInchY / dpiY); }

    // Edges are rounded rather than sizes, so that neighbours placed edge to edge in units stay
    // edge to edge in pixels.
    QRect toPixels(const SplitRect &r) const
    {
        const int left = pixelX(r.left);
        const int top = pixelY(r.top);
        const int right = pixelX(static_cast<double>(r.left) + r.width);
        const int bottom = pixelY(static_cast<double>(r.top) + r.height);
        return {left, top, right - left, bottom - top};
    }

    SplitRect toUnits(const QRect &g) const
    {
        return {unitsX(g.x()), unitsY(g.y()), unitsX(g.width()), unitsY(g.height())};
    }
};

std::int16_t buttonCode(Qt::MouseButtons buttons)
{
    std::int16_t code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

std::int16_t shiftCode(Qt::KeyboardModifiers modifiers)
{
    std::int16_t code = 0;
    if (modifiers & Qt::ShiftModifier)
        code |= 1;
    if (modifiers & Qt::ControlModifier)
        code |= 2;
    if (modifiers & Qt::AltModifier)
        code |= 4;
    return code;
}

}  // namespace

clsSplitControls::clsSplitControls(QObject *parent)
    : QObject(parent)
{
}

clsSplitControls::~clsSplitControls()
{
    if (lSplitControl) {
        // A drag cut short must not leave the whole program's mouse captured by the bar.
        if (lMoving)
            lSplitControl->releaseMouse();
        lSplitControl->removeEventFilter(this);
    }
    lSplitControl = nullptr;
    m_ctrl1 = nullptr;
    m_ctrl2 = nullptr;
}

void clsSplitControls::AssociateControls(QWidget *ptrControl, QWidget *ptrControl2, QWidget *frameSplitter)
{
    setAddrCtrl1(ptrControl);
    setAddrCtrl2(ptrControl2);
    setSplitControl(frameSplitter);
}

void clsSplitControls::SetBoundRect(float sgLeft, float sgTop, float sgWidth, float sgHeight)
{
    m_settings.bound = {sgLeft, sgTop, sgWidth, sgHeight};
}

void clsSplitControls::ResizeControl(bool RefToSplCtrl)
{
    if (!hasAll())
        return;
    const SplitPlaces now{placeOf(m_ctrl1), placeOf(m_ctrl2), placeOf(lSplitControl)};
    const SplitPlan plan = planSplitLayout(m_settings, now, RefToSplCtrl);
    if (plan.first)
        place(m_ctrl1, *plan.first);
    if (plan.second)
        place(m_ctrl2, *plan.second);
    if (plan.bar)
        place(lSplitControl, *plan.bar);
    m_ctrl1->setVisible(plan.showFirst);
    m_ctrl2->setVisible(plan.showSecond);
    lSplitControl->setVisible(plan.showBar);
}

void clsSplitControls::HandleSplitMouseDown(std::int16_t Button, std::int16_t, float, float)
{
    if (Button != 1 || !lSplitControl)
        return;
    paintBar(m_movingColor);
    lSplitControl->grabMouse();
    lMoving = true;
    lDownStyle = m_settings.style;
}

void clsSplitControls::HandleSplitMouseMove(std::int16_t Button, std::int16_t, float x, float y)
{
    if (Button != 1 || !lMoving || !lSplitControl)
        return;
    if (m_containerPixel) {
        const QPointF perPixel = twipsPerPixel(lSplitControl);
        x = static_cast<float>(x / perPixel.x());
        y = static_cast<float>(y / perPixel.y());
    }
    const SplitDragStep step = planSplitDrag(m_settings, placeOf(lSplitControl), x, y, lDirChanged);
    switch (step.kind) {
    case SplitDragStep::Kind::Stay:
        break;
    case SplitDragStep::Kind::Move:
        lDirChanged = false;
        MoveSplitControl(step.position, true);
        break;
    case SplitDragStep::Kind::Turn:
        lSwapPending = step.swapPending;
        setStyle(step.newStyle);
        MoveSplitControl(step.position, true);
        lDirChanged = true;
        break;
    }
}

void clsSplitControls::HandleSplitMouseUp(std::int16_t Button, std::int16_t Shift, float x, float y)
{
    if (Button != 1 || !lMoving || !hasAll())
        return;
    HandleSplitMouseMove(Button, Shift, x, y);
    lSplitControl->releaseMouse();
    lMoving = false;
    paintBar(lSplitBackColor);
    if (m_settings.allowChangeDirect && m_settings.style != lDownStyle && lSwapPending) {
        m_ctrl1.swap(m_ctrl2);
        m_controlSwaped = !m_controlSwaped;
    }
    ResizeControl(true);
    lDirChanged = false;
}

void clsSplitControls::CancelMove()
{
    if (!hasAll())
        return;
    paintBar(lSplitBackColor);
    MoveSplitControl(splitRestPosition(m_settings, placeOf(m_ctrl1)), true);
}

void clsSplitControls::MoveSplitControl(float NewPos, bool bForceNotConvPixel)
{
    if (!lSplitControl)
        return;
    if (m_containerPixel && !bForceNotConvPixel) {
        const QPointF perPixel = twipsPerPixel(lSplitControl);
        NewPos = static_cast<float>(NewPos / (m_settings.style == kSplitSideBySide ? perPixel.x() : perPixel.y()));
    }
    place(lSplitControl, splitBarAt(m_settings, NewPos));
}

void clsSplitControls::setStyle(std::int16_t value)
{
    m_settings.style = value;
    applySizingCursor();
}

void clsSplitControls::setVisibleStyle(std::int16_t value)
{
    m_settings.visibleStyle = value;
    ResizeControl(false);
}

void clsSplitControls::setAddrCtrl1(QWidget *control)
{
    m_ctrl1 = control;
    forgetStrangers();
}

void clsSplitControls::setAddrCtrl2(QWidget *control)
{
    m_ctrl2 = control;
    forgetStrangers();
}

void clsSplitControls::setSplitControl(QWidget *frame)
{
    if (lSplitControl && lSplitControl != frame)
        lSplitControl->removeEventFilter(this);
    lSplitControl = frame;
    forgetStrangers();
    if (!frame)
        return;

    lSplitBackColor = frame->palette().color(frame->backgroundRole());
    if (auto *box = qobject_cast<QFrame *>(frame)) {
        box->setFrameShape(QFrame::NoFrame);
        if (auto *label = qobject_cast<QLabel *>(box))
            label->clear();
    } else if (auto *group = qobject_cast<QGroupBox *>(frame)) {
        group->setTitle({});
        group->setFlat(true);
    }
    applySizingCursor();
    frame->installEventFilter(this);
}

void clsSplitControls::setContainerPixel(bool value)
{
    m_containerPixel = value;
    const float minimum = value ? 40.0f : 600.0f;
    m_settings.splitterWidth = value ? 2.0f : 30.0f;
    m_settings.minLeftWidth = m_settings.minRightWidth = minimum;
    m_settings.minTopHeight = m_settings.minBottomHeight = minimum;
    // Remembered rectangles are in the other unit now.
    m_lastPlaced.clear();
}

void clsSplitControls::setChDirtAngPort(float value)
{
    if (!(value > 0.0f && value < 1.0f))
        return;
    m_settings.chDirtAngPort = value > 0.5f ? 1.0f - value : value;
}

bool clsSplitControls::eventFilter(QObject *watched, QEvent *event)
{
    if (!lSplitControl || watched != lSplitControl.data())
        return QObject::eventFilter(watched, event);

    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
        && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);

    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPointF perPixel = twipsPerPixel(lSplitControl);
    const auto x = static_cast<float>(mouse->position().x() * perPixel.x());
    const auto y = static_cast<float>(mouse->position().y() * perPixel.y());
    const std::int16_t shift = shiftCode(mouse->modifiers());
    switch (type) {
    case QEvent::MouseButtonPress:
    // The second press of a double click grabs the bar like any other press.
    case QEvent::MouseButtonDblClick:
        HandleSplitMouseDown(buttonCode(mouse->button()), shift, x, y);
        break;
    case QEvent::MouseMove:
        HandleSplitMouseMove(buttonCode(mouse->buttons()), shift, x, y);
        break;
    default:
        HandleSplitMouseUp(buttonCode(mouse->button()), shift, x, y);
        break;
    }
    // The bar is nothing but a handle: its presses must not reach the window behind it.
    return true;
}

QPointF clsSplitControls::twipsPerPixel(const QWidget *widget)
{
    const QWidget *container = containerOf(widget);
    return {kTwipsPerInch / container->logicalDpiX(), kTwipsPerInch / container->logicalDpiY()};
}

SplitRect clsSplitControls::placeOf(const QWidget *widget) const
{
    const UnitScale scale(widget, m_containerPixel);
    const QRect geometry = widget->geometry();
    const auto placed = m_lastPlaced.constFind(widget);
    if (placed != m_lastPlaced.cend() && scale.toPixels(*placed) == geometry)
        return *placed;
    return scale.toUnits(geometry);
}

void clsSplitControls::place(QWidget *widget, const SplitRect &rect)
{
    if (!isPlaceable(rect))
        return;
    widget->setGeometry(UnitScale(widget, m_containerPixel).toPixels(rect));
    m_lastPlaced.insert(widget, rect);
}

void clsSplitControls::paintBar(const QColor &color)
{
    if (!lSplitControl)
        return;
    QPalette palette = lSplitControl->palette();
    palette.setColor(lSplitControl->backgroundRole(), color);
    lSplitControl->setPalette(palette);
    lSplitControl->setAutoFillBackground(true);
}

void clsSplitControls::applySizingCursor()
{
    if (!lSplitControl)
        return;
    if (m_settings.style == kSplitSideBySide)
        lSplitControl->setCursor(Qt::SizeHorCursor);
    else if (m_settings.style == kSplitStacked)
        lSplitControl->setCursor(Qt::SizeVerCursor);
}

void clsSplitControls::forgetStrangers()
{
    for (auto it = m_lastPlaced.begin(); it != m_lastPlaced.end();) {
        const QWidget *widget = it.key();
        if (widget != m_ctrl1 && widget != m_ctrl2 && widget != lSplitControl)
            it = m_lastPlaced.erase(it);
        else
            ++it;
    }
}

}  // namespace tabvoro::ui
