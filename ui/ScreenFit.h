// Where a window goes on the screen, in pixels, worked out without Qt so
// that it tests as numbers. A window keeps the size its layout gives it
// where the screen's work area (the screen less its panels) has room, and is
// cut to the area where it has none; its frame (title bar and borders) lies
// inside the area. A window opened from another lies a step right of and
// below the opener's corner, over it: never wholly hidden behind it.
#pragma once

#include <algorithm>

namespace qf::ui {

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const { return left + width; }
    constexpr int bottom() const { return top + height; }
    constexpr bool operator==(const PixelRect&) const = default;
};

// What the window manager adds around a window's client area.
struct FrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The step from the opener's frame corner to the new window's.
inline constexpr int kOpenerStepPixels = 40;

// The client rectangle `client` made to lie, with `frame` around it, inside
// `area`: its size cut where the area is smaller, then moved the least way in.
constexpr PixelRect fitInside(PixelRect client, FrameMargins frame, PixelRect area) {
    const int roomWidth = std::max(1, area.width - frame.left - frame.right);
    const int roomHeight = std::max(1, area.height - frame.top - frame.bottom);
    client.width = std::min(client.width, roomWidth);
    client.height = std::min(client.height, roomHeight);
    const int leftMost = area.left + frame.left;
    const int topMost = area.top + frame.top;
    client.left = std::clamp(client.left, leftMost, leftMost + roomWidth - client.width);
    client.top = std::clamp(client.top, topMost, topMost + roomHeight - client.height);
    return client;
}

// The client rectangle of a window of `width` x `height` opened from the
// window whose frame is `openerFrame`: its frame a step right of and below
// the opener's, then fitted inside `area`.
constexpr PixelRect placeFromOpener(int width, int height, FrameMargins frame,
                                    PixelRect openerFrame, PixelRect area) {
    const PixelRect client{openerFrame.left + kOpenerStepPixels + frame.left,
                           openerFrame.top + kOpenerStepPixels + frame.top, width, height};
    return fitInside(client, frame, area);
}

}  // namespace qf::ui
