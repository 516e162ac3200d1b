#include "ui/split_layout.h"

namespace tabvoro::ui {

namespace {

// The control's place after a move to `wanted`, which the platform may refuse.
SplitRect moved(const SplitRect &current, const SplitRect &wanted, std::optional<SplitRect> &applied)
{
    if (!isPlaceable(wanted))
        return current;
    applied = wanted;
    return wanted;
}

void planSideBySide(const SplitSettings &s, const SplitPlaces &now, bool refToBar, SplitPlan &plan)
{
    const SplitRect &b = s.bound;
    const float gap = s.splitterWidth;
    SplitRect first = now.first;

    if (s.leftFix) {
        float w1 = refToBar ? now.bar.left - b.left : now.first.width;
        float w2 = b.width - w1 - gap;
        if (w2 < s.minRightWidth) {
            w2 = s.minRightWidth;
            w1 = b.width - w2 - gap;
        }
        first = moved(first, {b.left, b.top, w1, b.height}, plan.first);
        moved(now.second, {first.left + w1 + gap, b.top, w2, b.height}, plan.second);
    } else {
        float w2 = refToBar ? b.width - (now.bar.left - b.left) - gap : now.second.width;
        float w1 = b.width - w2 - gap;
        if (w1 < s.minLeftWidth) {
            w1 = s.minLeftWidth;
            w2 = b.width - w1 - gap;
        }
        first = moved(first, {b.left, b.top, w1, b.height}, plan.first);
        moved(now.second, {first.left + first.width + gap, b.top, w2, b.height}, plan.second);
    }
    moved(now.bar, {b.left + first.width, b.top + s.spOfTop, gap, b.height + s.spOfHeight}, plan.bar);
}

void planStacked(const SplitSettings &s, const SplitPlaces &now, bool refToBar, SplitPlan &plan)
{
    const SplitRect &b = s.bound;
    const float gap = s.splitterWidth;
    SplitRect first = now.first;

    if (s.topFix) {
        float h1 = refToBar ? now.bar.top - b.top : now.first.height;
        float h2 = b.height - h1 - gap;
        if (h2 < s.minBottomHeight) {
            h2 = s.minBottomHeight;
            h1 = b.height - h2 - gap;
        }
        first = moved(first, {b.left, b.top, b.width, h1}, plan.first);
        moved(now.second, {b.left, b.top + h1 + gap, b.width, h2}, plan.second);
    } else {
        float h2 = refToBar ? b.height - (now.bar.top - b.top) - gap : now.second.height;
        float h1 = b.height - h2 - gap;
        if (h1 < s.minTopHeight) {
            h1 = s.minTopHeight;
            h2 = b.height - h1 - gap;
        }
        first = moved(first, {b.left, b.top, b.width, h1}, plan.first);
        moved(now.second, {b.left, first.top + first.height + gap, b.width, h2}, plan.second);
    }
    moved(now.bar, {b.left + s.spOfLeft, b.top + first.height, b.width + s.spOfWidth, gap}, plan.bar);
}

// Clamps a wanted bar position so that both controls keep their smallest size.
float clampBar(float wanted, float start, float length, float gap, float minBefore, float minAfter)
{
    if (wanted < start + minBefore)
        return start + minBefore;
    if (wanted + gap + minAfter > start + length)
        return start + length - gap - minAfter;
    return wanted;
}

}  // namespace

bool isPlaceable(const SplitRect &rect)
{
    return rect.width > 0 && rect.height > 0;
}

SplitPlan planSplitLayout(const SplitSettings &settings, const SplitPlaces &now, bool refToBar)
{
    SplitPlan plan;
    switch (settings.visibleStyle) {
    case kShowSecondOnly:
        moved(now.second, settings.bound, plan.second);
        plan.showSecond = true;
        return plan;
    case kShowFirstOnly:
        moved(now.first, settings.bound, plan.first);
        plan.showFirst = true;
        return plan;
    case kShowNone:
        return plan;
    default:
        break;
    }

    plan.showFirst = plan.showSecond = plan.showBar = true;
    if (settings.style == kSplitSideBySide)
        planSideBySide(settings, now, refToBar, plan);
    else if (settings.style == kSplitStacked)
        planStacked(settings, now, refToBar, plan);
    return plan;
}

SplitRect splitBarAt(const SplitSettings &settings, float position)
{
    const SplitRect &b = settings.bound;
    if (settings.style == kSplitSideBySide)
        return {position, b.top + settings.spOfTop, settings.splitterWidth, b.height + settings.spOfHeight};
    return {b.left + settings.spOfLeft, position, b.width + settings.spOfWidth, settings.splitterWidth};
}

float splitRestPosition(const SplitSettings &settings, const SplitRect &first)
{
    if (settings.style == kSplitSideBySide)
        return first.width + settings.bound.left;
    return first.height + settings.bound.top;
}

SplitDragStep planSplitDrag(const SplitSettings &s, const SplitRect &bar, float x, float y, bool dirChanged)
{
    const SplitRect &b = s.bound;
    const bool sideBySide = s.style == kSplitSideBySide;
    if (!sideBySide && s.style != kSplitStacked)
        return {};

    // Across the bar: y for a vertical bar, x for a horizontal one; the turning zones lie at both
    // ends of the bar.
    const float across = sideBySide ? y : x;
    const float span = sideBySide ? b.height : b.width;
    const bool inLeadingZone = across < s.chDirtAngPort * span;
    const bool inTrailingZone = across > (1 - s.chDirtAngPort) * span;
    if (s.allowChangeDirect && (inLeadingZone || inTrailingZone)) {
        if (dirChanged)
            return {};
        return {SplitDragStep::Kind::Turn, across, sideBySide ? kSplitStacked : kSplitSideBySide, inLeadingZone};
    }

    const float position = sideBySide
        ? clampBar(bar.left + x, b.left, b.width, s.splitterWidth, s.minLeftWidth, s.minRightWidth)
        : clampBar(bar.top + y, b.top, b.height, s.splitterWidth, s.minTopHeight, s.minBottomHeight);
    return {SplitDragStep::Kind::Move, position, 0, false};
}

}  // namespace tabvoro::ui
