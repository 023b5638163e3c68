#include "TLineMapper.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvane {

TLineMapper::TLineMapper(std::string_view separatorSet, const std::vector<std::string>& replacements,
                         std::string_view replacementBeyondList)
{
    for (char c : separatorSet) {
        const auto b = static_cast<unsigned char>(c);
        if (!separator_[b])
            setBytes_[setSize_++] = b;
        separator_[b] = 1;
    }

    replacement_.reserve(replacements.size());
    for (const std::string& entry : replacements)
        replacement_.push_back(entry.empty() ? kKeep : static_cast<unsigned char>(entry[0]));

    for (int b = 0; b < 256; ++b)
        beyondTable_[b] = static_cast<unsigned char>(b);
    if (!replacementBeyondList.empty()) {
        const auto with = static_cast<unsigned char>(replacementBeyondList[0]);
        beyondByte_ = with;
        for (int b = 0; b < 256; ++b) {
            if (separator_[b] && b != with) {
                beyondTable_[b] = with;
                beyondIsIdentity_ = false;
            }
        }
    }
}

#if defined(__SSE2__)
namespace {

// Up to this many distinct separators are compared 16 bytes at a time.
constexpr std::size_t kVectorSetLimit = 8;

inline __m128i SeparatorMask(__m128i v, const unsigned char* set, std::size_t count)
{
    __m128i mask = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(set[0])));
    for (std::size_t k = 1; k < count; ++k)
        mask = _mm_or_si128(mask, _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(set[k]))));
    return mask;
}

} // namespace
#endif

void TLineMapper::MapInto(const char* src, std::size_t n, char* dst) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    auto* out = reinterpret_cast<unsigned char*>(dst);
    std::size_t pos = 0;
    std::size_t occurrence = 0;
    const std::size_t listSize = replacement_.size();

    // While the list has entries left, every occurrence needs its own entry.
#if defined(__SSE2__)
    const bool vectorSet = setSize_ > 0 && setSize_ <= kVectorSetLimit;
    if (vectorSet) {
        while (occurrence < listSize && n - pos >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + pos));
            auto bits = static_cast<unsigned>(_mm_movemask_epi8(SeparatorMask(v, setBytes_.data(), setSize_)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + pos), v);
            for (; bits != 0 && occurrence < listSize; bits &= bits - 1) {
                const short r = replacement_[occurrence++];
                if (r != kKeep)
                    out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = static_cast<unsigned char>(r);
            }
            // The list ran out inside this block: the rest of it already
            // follows the rule beyond the list.
            for (; bits != 0 && !beyondIsIdentity_; bits &= bits - 1)
                out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = beyondByte_;
            pos += 16;
        }
    }
#endif
    while (occurrence < listSize && pos < n) {
        const unsigned char b = in[pos];
        unsigned char result = b;
        if (separator_[b]) {
            const short r = replacement_[occurrence++];
            if (r != kKeep)
                result = static_cast<unsigned char>(r);
        }
        out[pos++] = result;
    }

    if (pos == n)
        return;
    if (beyondIsIdentity_) {
        if (out != in)
            std::memcpy(out + pos, in + pos, n - pos);
        return;
    }
#if defined(__SSE2__)
    if (vectorSet) {
        const __m128i with = _mm_set1_epi8(static_cast<char>(beyondByte_));
        for (; n - pos >= 16; pos += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + pos));
            const __m128i mask = SeparatorMask(v, setBytes_.data(), setSize_);
            const __m128i mapped = _mm_or_si128(_mm_and_si128(mask, with), _mm_andnot_si128(mask, v));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + pos), mapped);
        }
    }
#endif
    for (; pos < n; ++pos)
        out[pos] = beyondTable_[in[pos]];
}

std::string TLineMapper::Map(std::string_view line) const
{
    std::string result(line.size(), '\0');
    MapInto(line.data(), line.size(), result.data());
    return result;
}

} // namespace morvane
