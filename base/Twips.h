// Window coordinates are stated in twips (1/1440 inch). Layouts are computed
// in twips and converted to pixels once, when a control is placed, so that
// they read and test as the numbers they were given in.
#pragma once

#include <array>
#include <cstddef>

namespace qf::base {

// 96 dots per inch: 1440 / 96.
inline constexpr int kTwipsPerPixel = 15;

// Rounds to the nearest pixel (half a pixel away from zero).
constexpr int twipsToPixels(int twips) {
    const int half = kTwipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

constexpr int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const { return left + width; }
    constexpr int bottom() const { return top + height; }
    constexpr bool contains(const TwipsRect& other) const {
        return other.left >= left && other.top >= top && other.right() <= right() &&
               other.bottom() <= bottom();
    }
    constexpr bool overlaps(const TwipsRect& other) const {
        return left < other.right() && other.left < right() && top < other.bottom() &&
               other.top < bottom();
    }
};

// count positions from first, each step twips after the one before
// (a negative step runs upward).
template <std::size_t count>
constexpr std::array<int, count> evenSteps(int first, int step) {
    std::array<int, count> positions{};
    for (std::size_t i = 0; i < count; ++i) {
        positions[i] = first + static_cast<int>(i) * step;
    }
    return positions;
}

}  // namespace qf::base
