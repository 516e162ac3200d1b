#pragma once

// Arithmetic of the split panel: where the two controls and the bar between them go, and where a
// drag takes the bar. Free of any toolkit so that every case can be checked without a window.
// Positions and sizes are in the container's units: twips, or pixels for a pixel container.

#include <cstdint>
#include <optional>

namespace tabvoro::ui {

struct SplitRect {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;

    friend bool operator==(const SplitRect &, const SplitRect &) = default;
};

// Values of `Style`; any other value shows the controls and the bar without placing them.
inline constexpr std::int16_t kSplitSideBySide = 1;
inline constexpr std::int16_t kSplitStacked = 2;

// Values of `VisibleStyle`.
inline constexpr std::int16_t kShowBoth = 0;
inline constexpr std::int16_t kShowSecondOnly = 1;
inline constexpr std::int16_t kShowFirstOnly = 2;
inline constexpr std::int16_t kShowNone = 3;

struct SplitSettings {
    std::int16_t style = kSplitSideBySide;
    bool leftFix = true;
    bool topFix = true;
    std::int16_t visibleStyle = kShowBoth;
    SplitRect bound;
    float spOfLeft = 0;
    float spOfTop = 0;
    float spOfWidth = 0;
    float spOfHeight = 0;
    float minLeftWidth = 600;
    float minRightWidth = 600;
    float minTopHeight = 600;
    float minBottomHeight = 600;
    float splitterWidth = 30;
    bool allowChangeDirect = false;
    float chDirtAngPort = 0.15f;
};

// Where the first control, the second control and the bar are now.
struct SplitPlaces {
    SplitRect first;
    SplitRect second;
    SplitRect bar;
};

// What a layout does to each item. An empty place leaves that item where it is.
struct SplitPlan {
    std::optional<SplitRect> first;
    std::optional<SplitRect> second;
    std::optional<SplitRect> bar;
    bool showFirst = false;
    bool showSecond = false;
    bool showBar = false;
};

// The platform refuses to give a control a width or height of zero or less; such a move is
// skipped and the control keeps its place.
bool isPlaceable(const SplitRect &rect);

// The layout of `ResizeControl`. With `refToBar` the division follows the bar's place, otherwise
// the size of the control that `LeftFix`/`TopFix` keeps. A refused move is already accounted
// for: later items are placed against the control as it really stands.
SplitPlan planSplitLayout(const SplitSettings &settings, const SplitPlaces &now, bool refToBar);

// The bar's rectangle when it is moved to `position` along its axis (left for side by side, top
// for any other style).
SplitRect splitBarAt(const SplitSettings &settings, float position);

// Where the bar goes back to when a drag is called off: right after the first control.
float splitRestPosition(const SplitSettings &settings, const SplitRect &first);

struct SplitDragStep {
    enum class Kind {
        Stay,  // nothing to do
        Move,  // the bar follows the pointer to `position`
        Turn,  // the bar turns to `newStyle` and goes to `position`
    };
    Kind kind = Kind::Stay;
    float position = 0;
    std::int16_t newStyle = 0;
    // A turn into the top (or left) zone: the controls change places when the drag ends.
    bool swapPending = false;

    friend bool operator==(const SplitDragStep &, const SplitDragStep &) = default;
};

// One step of a drag. `x` and `y` are the pointer relative to the bar's top-left corner, in
// container units; `dirChanged` says the bar already turned during this drag and the pointer has
// not left the turning zones since.
SplitDragStep planSplitDrag(const SplitSettings &settings, const SplitRect &bar, float x, float y,
                            bool dirChanged);

}  // namespace tabvoro::ui
