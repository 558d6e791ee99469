// A quick test that a field cannot hold a folded match, so that most fields
// are never folded: every match holds, as raw bytes, either a run of the
// needle whose characters have no other form, or one of the forms of the
// needle's rarest character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/Cp932Folding.h"

namespace qf::store {

class AnchorFilter {
  public:
    // Lets every field through.
    AnchorFilter() = default;
    // REQUIRES: `foldedNeedle` is folded by `folding` and not empty.
    AnchorFilter(const text::Cp932Folding& folding, std::string_view foldedNeedle);

    // False only when `cp932` cannot hold a match.
    bool mayMatch(std::string_view cp932) const;

  private:
    bool holdsAnySource(std::string_view cp932) const;

    std::string m_run;                   // when not empty: what a match holds as it is
    std::vector<std::string> m_sources;  // else: one of these (1 or 2 bytes each)
};

}  // namespace qf::store
