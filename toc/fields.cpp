#include "toc/fields.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace toc {

namespace {
#if defined(__SSE2__)
    // Bit k set where at[k] is a colon, for the 16 bytes from `at`.
    inline unsigned colonMask(const char* at) noexcept
    {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(':'))));
    }
#endif
}

FieldList splitFields(std::string_view text, std::size_t maxPieces)
{
    FieldList pieces;
    pieces.m_text = text;
    // Stops as soon as the last piece begins, so long message text is never walked.
    const std::size_t cuts = maxPieces == AllPieces ? text.size() : maxPieces - 1;
    const char* const base = text.data();
    const std::size_t n = text.size();
    std::size_t found = 0;
    auto record = [&](std::size_t colon) {
        if (found < FieldList::InlineCuts)
            pieces.m_inline[found] = colon;
        else
            pieces.m_more.push_back(colon);
        ++found;
    };

    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes per step: fields are a few bytes long, too short for memchr to pay for its
    // set-up, and a byte-by-byte loop mispredicts at every colon.
    if (n >= 16) {
        for (; i + 16 <= n && found < cuts; i += 16) {
            for (unsigned mask = colonMask(base + i); mask && found < cuts; mask &= mask - 1)
                record(i + static_cast<std::size_t>(std::countr_zero(mask)));
        }
        if (i < n && found < cuts) {
            // The last sixteen bytes, with those already seen shifted out.
            const std::size_t last = n - 16;
            const unsigned seen = static_cast<unsigned>(i - last);
            for (unsigned mask = colonMask(base + last) >> seen << seen; mask && found < cuts; mask &= mask - 1)
                record(last + static_cast<std::size_t>(std::countr_zero(mask)));
        }
        i = n;
    }
#endif
    for (; i < n && found < cuts; ++i) {
        if (base[i] == ':')
            record(i);
    }
    pieces.m_cuts = found;
    return pieces;
}

std::string_view commandWord(std::string_view text) noexcept
{
    std::size_t end = 0;
#if defined(__SSE2__)
    for (; end + 16 <= text.size(); end += 16) {
        if (const unsigned mask = colonMask(text.data() + end))
            return text.substr(0, end + static_cast<std::size_t>(std::countr_zero(mask)));
    }
#endif
    while (end < text.size() && text[end] != ':')
        ++end;
    return text.substr(0, end);
}

} // namespace toc
