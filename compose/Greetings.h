// The compose window's two text aids: the eight stock greeting sentences of
// the greeting box and the fortune paragraph a send can append to the body.
//
// The fortune is one of twelve texts under a fixed header, drawn with a
// single-precision x in [0, 1) as n = floor(x * 12 + 1). Three of the twelve
// are 大吉, five 中吉, two 吉 and two 凶, so the draw's uniformity is the
// whole of the weighting.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace qf::compose {

// In the order the greeting box lists them.
extern const std::array<std::string_view, 8> kGreetingSentences;

extern const std::string_view kFortuneHeader;

// Text number n is kFortuneTexts[n - 1].
extern const std::array<std::string_view, 12> kFortuneTexts;

// Returns a number x with 0 <= x < 1.
using UnitFloatSource = std::function<float()>;

// A source that re-seeds a generator from the system timer on every draw, as
// the program has always done; tests inject their own source instead.
UnitFloatSource timerSeededSource();

// floor(x * 12 + 1) on the single-precision value: 1..12. An x outside
// [0, 1) (a faulty source) is held to the nearest end rather than indexing
// past the table.
int fortuneNumber(float x);

// body, CR LF, CR LF, header, CR LF, CR LF, the drawn text; nothing after it.
std::string appendFortune(std::string_view body, const UnitFloatSource& source);

}  // namespace qf::compose
