#include "store/AnchorFilter.h"

#include <cstdint>
#include <cstring>

#include "text/Cp932.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qf::store {

namespace {

// A run this long is rare enough for memmem to skip along quickly.
constexpr std::size_t kLongRunBytes = 4;

// The characters of CP932 text (one or two bytes each).
std::vector<std::string_view> charactersOf(std::string_view cp932) {
    std::vector<std::string_view> characters;
    for (std::size_t i = 0; i < cp932.size();) {
        const bool pair =
            text::isCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size();
        characters.push_back(cp932.substr(i, pair ? 2 : 1));
        i += pair ? 2 : 1;
    }
    return characters;
}

// How likely a character is to be met in mail: a kanji or kana costs the
// number of its forms; an ASCII one more, the more common it is in English.
std::size_t cost(std::string_view character, const std::vector<std::string>& sources) {
    if (static_cast<unsigned char>(character[0]) >= 0x80) {
        return sources.size();
    }
    constexpr std::string_view kRarestFirst = "zqjxkvbpgwyfmculdhrsnioate";
    const std::size_t rank = kRarestFirst.find(character[0]);
    return 100 + (rank == std::string_view::npos ? kRarestFirst.size() : rank);
}

}  // namespace

AnchorFilter::AnchorFilter(const text::Cp932Folding& folding, std::string_view foldedNeedle) {
    std::size_t bestCost = SIZE_MAX;
    std::string run;
    for (std::string_view character : charactersOf(foldedNeedle)) {
        std::vector<std::string> sources = folding.sourcesOf(character);
        // A character whose one form is itself stays as it is in the raw text.
        if (sources.size() == 1 && sources[0] == character) {
            run += character;
            if (run.size() > m_run.size()) {
                m_run = run;
            }
        } else {
            run.clear();
        }
        if (const std::size_t c = cost(character, sources); c < bestCost && !sources.empty()) {
            bestCost = c;
            m_sources = std::move(sources);
        }
    }
    if (m_run.size() < kLongRunBytes) {
        m_run.clear();
    }
}

bool AnchorFilter::mayMatch(std::string_view cp932) const {
    if (!m_run.empty()) {
        return ::memmem(cp932.data(), cp932.size(), m_run.data(), m_run.size()) != nullptr;
    }
    return m_sources.empty() || holdsAnySource(cp932);
}

// One pass for all sources: sixteen positions at a time, each compared with
// every source's first byte and (for two-byte sources) the next position
// with its second.
bool AnchorFilter::holdsAnySource(std::string_view cp932) const {
    const char* text = cp932.data();
    const std::size_t n = cp932.size();
    std::size_t i = 0;
#ifdef __SSE2__
    constexpr std::size_t kMaxVectorSources = 8;
    if (m_sources.size() <= kMaxVectorSources) {
        __m128i first[kMaxVectorSources];
        __m128i second[kMaxVectorSources];
        for (std::size_t k = 0; k < m_sources.size(); ++k) {
            first[k] = _mm_set1_epi8(m_sources[k][0]);
            second[k] = _mm_set1_epi8(m_sources[k].size() > 1 ? m_sources[k][1] : 0);
        }
        for (; i + 17 <= n; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 1));
            __m128i hit = _mm_setzero_si128();
            for (std::size_t k = 0; k < m_sources.size(); ++k) {
                __m128i same = _mm_cmpeq_epi8(here, first[k]);
                if (m_sources[k].size() > 1) {
                    same = _mm_and_si128(same, _mm_cmpeq_epi8(next, second[k]));
                }
                hit = _mm_or_si128(hit, same);
            }
            if (_mm_movemask_epi8(hit) != 0) {
                return true;
            }
        }
    }
#endif
    const std::string_view rest = cp932.substr(i);
    for (const std::string& source : m_sources) {
        if (rest.find(source) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace qf::store
