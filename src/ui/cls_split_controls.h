#pragma once

// Two controls one above the other or side by side inside a rectangle of their container, with a
// thin bar between them that the user drags. The controls are held by identity only: deleting
// one of them is allowed at any time and merely turns layout and drag release off.
//
// Positions and sizes are in the container's units: twips (1/1440 inch) unless ContainerPixel.
// The last rectangle given to each control in those units is read back instead of the rounded
// pixel geometry as long as the control still stands where it was put, so that twips layouts
// are exact and repeat without drift.

#include <cstdint>

#include <QColor>
#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include "ui/split_layout.h"

namespace tabvoro::ui {

class clsSplitControls : public QObject {
    Q_OBJECT
public:
    explicit clsSplitControls(QObject *parent = nullptr);
    ~clsSplitControls() override;

    void AssociateControls(QWidget *ptrControl, QWidget *ptrControl2, QWidget *frameSplitter);
    // Sets the rectangle shared by the controls and the bar; lays nothing out.
    void SetBoundRect(float sgLeft, float sgTop, float sgWidth, float sgHeight);
    // True after a drag: the division follows the bar. False after the rectangle changed: the
    // control that LeftFix/TopFix names keeps its size.
    void ResizeControl(bool RefToSplCtrl);
    // The bar's mouse events, x and y in twips from the bar's top-left corner; Button 1 is the
    // left button, Shift 1 Shift, 2 Ctrl, 4 Alt. The bar's own events arrive here by themselves.
    void HandleSplitMouseDown(std::int16_t Button, std::int16_t Shift, float x, float y);
    void HandleSplitMouseMove(std::int16_t Button, std::int16_t Shift, float x, float y);
    void HandleSplitMouseUp(std::int16_t Button, std::int16_t Shift, float x, float y);
    // Gives the bar its colour back and returns it next to the first control; the drag itself
    // goes on until the button is released.
    void CancelMove();
    // Moves the bar alone along its axis.
    void MoveSplitControl(float NewPos, bool bForceNotConvPixel = false);

    std::int16_t Style() const { return m_settings.style; }
    void setStyle(std::int16_t value);
    bool LeftFix() const { return m_settings.leftFix; }
    void setLeftFix(bool value) { m_settings.leftFix = value; }
    bool TopFix() const { return m_settings.topFix; }
    void setTopFix(bool value) { m_settings.topFix = value; }
    std::int16_t VisibleStyle() const { return m_settings.visibleStyle; }
    void setVisibleStyle(std::int16_t value);
    QWidget *AddrCtrl1() const { return m_ctrl1; }
    void setAddrCtrl1(QWidget *control);
    QWidget *AddrCtrl2() const { return m_ctrl2; }
    void setAddrCtrl2(QWidget *control);
    QWidget *SplitControl() const { return lSplitControl; }
    void setSplitControl(QWidget *frame);
    float BoundLeft() const { return m_settings.bound.left; }
    void setBoundLeft(float value) { m_settings.bound.left = value; }
    float BoundTop() const { return m_settings.bound.top; }
    void setBoundTop(float value) { m_settings.bound.top = value; }
    float BoundWidth() const { return m_settings.bound.width; }
    void setBoundWidth(float value) { m_settings.bound.width = value; }
    float BoundHeight() const { return m_settings.bound.height; }
    void setBoundHeight(float value) { m_settings.bound.height = value; }
    float SpOfLeft() const { return m_settings.spOfLeft; }
    void setSpOfLeft(float value) { m_settings.spOfLeft = value; }
    float SpOfTop() const { return m_settings.spOfTop; }
    void setSpOfTop(float value) { m_settings.spOfTop = value; }
    float SpOfWidth() const { return m_settings.spOfWidth; }
    void setSpOfWidth(float value) { m_settings.spOfWidth = value; }
    float SpOfHeight() const { return m_settings.spOfHeight; }
    void setSpOfHeight(float value) { m_settings.spOfHeight = value; }
    float MinLeftWidth() const { return m_settings.minLeftWidth; }
    void setMinLeftWidth(float value) { m_settings.minLeftWidth = value; }
    float MinRightWidth() const { return m_settings.minRightWidth; }
    void setMinRightWidth(float value) { m_settings.minRightWidth = value; }
    float MinTopHeight() const { return m_settings.minTopHeight; }
    void setMinTopHeight(float value) { m_settings.minTopHeight = value; }
    float MinBottomHeight() const { return m_settings.minBottomHeight; }
    void setMinBottomHeight(float value) { m_settings.minBottomHeight = value; }
    float SplitterWidth() const { return m_settings.splitterWidth; }
    void setSplitterWidth(float value) { m_settings.splitterWidth = value; }
    QColor MovingColor() const { return m_movingColor; }
    void setMovingColor(const QColor &value) { m_movingColor = value; }
    bool ContainerPixel() const { return m_containerPixel; }
    // Also puts the bar thickness and the four minimums back to the usual values of that unit.
    void setContainerPixel(bool value);
    bool AllowChangeDirect() const { return m_settings.allowChangeDirect; }
    void setAllowChangeDirect(bool value) { m_settings.allowChangeDirect = value; }
    float ChDirtAngPort() const { return m_settings.chDirtAngPort; }
    // Takes only 0 < value < 1; a zone wider than half the rectangle is mirrored to 1 - value.
    void setChDirtAngPort(float value);
    bool ControlSwaped() const { return m_controlSwaped; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool hasAll() const { return m_ctrl1 && m_ctrl2 && lSplitControl; }
    // Twips per pixel across and down, from the logical DPI of the widget's container.
    static QPointF twipsPerPixel(const QWidget *widget);
    SplitRect placeOf(const QWidget *widget) const;
    void place(QWidget *widget, const SplitRect &rect);
    void paintBar(const QColor &color);
    void applySizingCursor();
    // Drops remembered rectangles of widgets this instance no longer handles.
    void forgetStrangers();

    SplitSettings m_settings;
    QPointer<QWidget> m_ctrl1;
    QPointer<QWidget> m_ctrl2;
    QPointer<QWidget> lSplitControl;
    QColor m_movingColor{64, 64, 64};
    bool m_containerPixel = false;
    bool m_controlSwaped = false;

    bool lMoving = false;
    std::int16_t lDownStyle = 0;
    bool lDirChanged = false;
    bool lSwapPending = false;
    QColor lSplitBackColor;

    // The rectangle in container units each widget was last given.
    QHash<const QWidget *, SplitRect> m_lastPlaced;
};

}  // namespace tabvoro::ui
