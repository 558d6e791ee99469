#include "store/OriginalPackFormat.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "store/Digest.h"

namespace qf::store::packformat {

namespace {

constexpr std::string_view kEntryMagic = "QFMAIL01";
constexpr std::size_t kMagicBytes = 8;
constexpr std::size_t kNameAt = 8;
constexpr std::size_t kStateAt = 89;
constexpr std::size_t kLengthAt = 96;
constexpr std::size_t kDigestAt = 104;
constexpr std::size_t kCheckAt = 120;
constexpr std::size_t kCheckBytes = 8;
constexpr std::size_t kRowOffsetAt = kHeaderBytes;
constexpr std::size_t kRowCheckAt = kHeaderBytes + 8;
constexpr std::size_t kScanChunkBytes = std::size_t{1} << 16;
constexpr char kLive = 'L';
constexpr char kDropped = 'D';

using FileHeader = std::array<char, kFileHeaderBytes>;

void putNumber(char* at, std::uint64_t value) {
    for (std::size_t i = 0; i < 8; ++i) {
        at[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

std::uint64_t numberAt(const char* at) {
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(at[i]);
    }
    return value;
}

void putCheck(char* at, std::span<const char> covered) {
    const Sha256 digest = sha256(covered);
    std::memcpy(at, digest.data(), kCheckBytes);
}

bool checksOut(const char* at, std::span<const char> covered) {
    const Sha256 digest = sha256(covered);
    return std::memcmp(at, digest.data(), kCheckBytes) == 0;
}

}  // namespace

Header headerOf(const PackEntry& entry) {
    Header header{};
    std::memcpy(header.data(), kEntryMagic.data(), kMagicBytes);
    std::memcpy(header.data() + kNameAt, entry.name.data(),
                std::min(entry.name.size(), kNameBytes));
    header[kStateAt] = entry.live ? kLive : kDropped;
    putNumber(header.data() + kLengthAt, entry.length);
    std::memcpy(header.data() + kDigestAt, entry.digest.data(), entry.digest.size());
    putCheck(header.data() + kCheckAt, std::span(header.data(), kCheckAt));
    return header;
}

std::optional<PackEntry> entryOf(std::span<const char> header, std::uint64_t offset) {
    if (header.size() < kHeaderBytes ||
        std::string_view(header.data(), kMagicBytes) != kEntryMagic ||
        !checksOut(header.data() + kCheckAt, header.first(kCheckAt)) ||
        (header[kStateAt] != kLive && header[kStateAt] != kDropped)) {
        return std::nullopt;
    }
    PackEntry entry;
    entry.name.assign(header.data() + kNameAt, kNameBytes);
    entry.offset = offset;
    entry.length = numberAt(header.data() + kLengthAt);
    std::memcpy(entry.digest.data(), header.data() + kDigestAt, entry.digest.size());
    entry.live = header[kStateAt] == kLive;
    return entry;
}

std::array<unsigned char, 16> digestOf(std::string_view mail) {
    const Sha256 whole = sha256(mail);
    std::array<unsigned char, 16> digest{};
    std::copy_n(whole.begin(), digest.size(), digest.begin());
    return digest;
}

Row rowOf(const PackEntry& entry) {
    Row row{};
    const Header header = headerOf(entry);
    std::copy(header.begin(), header.end(), row.begin());
    putNumber(row.data() + kRowOffsetAt, entry.offset);
    putCheck(row.data() + kRowCheckAt, std::span(row.data(), kRowCheckAt));
    return row;
}

FileHeader fileHeaderOf(std::string_view magic, std::uint64_t generation) {
    FileHeader header{};
    std::memcpy(header.data(), magic.data(), kMagicBytes);
    putNumber(header.data() + kMagicBytes, generation);
    return header;
}

std::uint64_t generationIn(base::File& file, std::string_view magic) {
    FileHeader header{};
    auto got = file.readAt(0, header);
    if (!got || got.value() != header.size() ||
        std::string_view(header.data(), kMagicBytes) != magic) {
        return 0;
    }
    return numberAt(header.data() + kMagicBytes);
}

std::uint64_t newGeneration() {
    std::random_device random;
    std::uint64_t generation = 0;
    while (generation == 0) {
        generation = (std::uint64_t{random()} << 32) | random();
    }
    return generation;
}

std::optional<PackEntry> entryOfRow(std::span<const char> row) {
    if (row.size() < kRowBytes || !checksOut(row.data() + kRowCheckAt, row.first(kRowCheckAt))) {
        return std::nullopt;
    }
    return entryOf(row.first(kHeaderBytes), numberAt(row.data() + kRowOffsetAt));
}

std::uint64_t nextMagic(base::File& pack, std::uint64_t from, std::uint64_t end) {
    std::vector<char> chunk(kScanChunkBytes);
    for (std::uint64_t at = from; at < end; at += chunk.size() - kMagicBytes + 1) {
        auto got = pack.readAt(at, chunk);
        if (!got || got.value() < kMagicBytes) {
            return end;
        }
        const std::string_view seen(chunk.data(), got.value());
        if (const std::size_t found = seen.find(kEntryMagic); found != std::string_view::npos) {
            return at + found;
        }
        if (got.value() < chunk.size()) {
            return end;
        }
    }
    return end;
}

// Whether the bytes after a live entry's header are its mail. Read only
// where the index has no row: a pack without one is read whole once.
bool holdsItsMail(base::File& pack, const PackEntry& entry) {
    std::string mail(static_cast<std::size_t>(entry.length), '\0');
    auto got = pack.readAt(entry.offset + kHeaderBytes, mail);
    return got && got.value() == mail.size() && digestOf(mail) == entry.digest;
}

}  // namespace qf::store::packformat
