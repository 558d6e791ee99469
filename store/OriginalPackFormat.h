// The bytes of a pack of originals and of its index: entry headers, index
// rows, file headers and their checks. The layout is described in
// store/OriginalPack.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/FileSystem.h"

namespace qf::store {

struct PackEntry {
    std::string name;
    std::uint64_t offset = 0;  // of its header in the pack
    std::uint64_t length = 0;  // of the mail
    std::array<unsigned char, 16> digest{};
    bool live = true;
};

namespace packformat {

inline constexpr std::string_view kPackMagic = "QFPACK01";
inline constexpr std::string_view kIndexMagic = "QFPIDX01";
inline constexpr std::size_t kFileHeaderBytes = 32;
inline constexpr std::size_t kHeaderBytes = 128;
inline constexpr std::size_t kNameBytes = 81;
inline constexpr std::size_t kRowBytes = kHeaderBytes + 16;  // header, offset, check

using Header = std::array<char, kHeaderBytes>;
using Row = std::array<char, kRowBytes>;
using FileHeader = std::array<char, kFileHeaderBytes>;

// An entry's header, and the entry a header at `offset` describes (nullopt
// when it fails its check).
Header headerOf(const PackEntry& entry);
std::optional<PackEntry> entryOf(std::span<const char> header, std::uint64_t offset);
// An index row, and the entry a row describes (nullopt when it fails).
Row rowOf(const PackEntry& entry);
std::optional<PackEntry> entryOfRow(std::span<const char> row);

// The first 16 bytes of the mail's SHA-256.
std::array<unsigned char, 16> digestOf(std::string_view mail);

FileHeader fileHeaderOf(std::string_view magic, std::uint64_t generation);
// The generation in a file header of `magic`; 0 when it is not one.
std::uint64_t generationIn(base::File& file, std::string_view magic);
std::uint64_t newGeneration();

// Where the next entry's magic starts in [from, end), else `end`.
std::uint64_t nextMagic(base::File& pack, std::uint64_t from, std::uint64_t end);
// Whether the bytes after a live entry's header are its mail.
bool holdsItsMail(base::File& pack, const PackEntry& entry);

}  // namespace packformat
}  // namespace qf::store
