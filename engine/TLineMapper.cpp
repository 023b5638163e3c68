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

// The separator set as broadcast vectors, built once per call rather than
// once per block.
struct TVectorSet {
    TVectorSet(const unsigned char* set, std::size_t n) : count(n)
    {
        for (std::size_t k = 0; k < n; ++k)
            bytes[k] = _mm_set1_epi8(static_cast<char>(set[k]));
    }

    __m128i Mask(__m128i v) const
    {
        __m128i mask = _mm_cmpeq_epi8(v, bytes[0]);
        for (std::size_t k = 1; k < count; ++k)
            mask = _mm_or_si128(mask, _mm_cmpeq_epi8(v, bytes[k]));
        return mask;
    }

    __m128i bytes[kVectorSetLimit];
    std::size_t count;
};

inline __m128i Load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(unsigned char* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <typename MaskOf>
void MapBeyondVector(const unsigned char* in, unsigned char* out, std::size_t pos, std::size_t n,
                     unsigned char beyond, MaskOf maskOf)
{
    const __m128i with = _mm_set1_epi8(static_cast<char>(beyond));
    auto map = [&](std::size_t at) {
        const __m128i v = Load(in + at);
        const __m128i mask = maskOf(v);
        Store(out + at, _mm_or_si128(_mm_and_si128(mask, with), _mm_andnot_si128(mask, v)));
    };
    for (; n - pos >= 16; pos += 16)
        map(pos);
    // The last few bytes as one block that overlaps bytes already done:
    // mapping a byte twice gives what mapping it once gave.
    if (pos < n)
        map(n - 16);
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

#if defined(__SSE2__)
    const bool vector = setSize_ > 0 && setSize_ <= kVectorSetLimit && n >= 16;
    const TVectorSet set(setBytes_.data(), vector ? setSize_ : 0);
    // While the list has entries left, every occurrence needs its own entry.
    if (vector) {
        while (occurrence < listSize && n - pos >= 16) {
            const __m128i v = Load(in + pos);
            auto bits = static_cast<unsigned>(_mm_movemask_epi8(set.Mask(v)));
            Store(out + pos, v);
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
    // The overlapping last block may only reach back over bytes that are
    // past the list as well.
    if (vector && n - pos >= 16) {
        if (setSize_ == 1) {
            const __m128i only = set.bytes[0];
            MapBeyondVector(in, out, pos, n, beyondByte_, [&](__m128i v) { return _mm_cmpeq_epi8(v, only); });
        } else {
            MapBeyondVector(in, out, pos, n, beyondByte_, [&](__m128i v) { return set.Mask(v); });
        }
        return;
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
