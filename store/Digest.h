// SHA-256, for the names of originals and the checks of the pack they are in.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace qf::store {

using Sha256 = std::array<unsigned char, 32>;

Sha256 sha256(std::span<const char> bytes);
// SHA-256 of the texts, each preceded by its length so that no two lists of
// texts run together into the same bytes; in lower-case hex.
std::string sha256OfTextsHex(std::span<const std::string_view> texts);

}  // namespace qf::store
