#include "TLineMapper.h"

#include <cstring>

#include "VectorBytes.h"

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

    runTable_ = beyondTable_;
    runTable_['\n'] = '\n';
    runTable_['\r'] = '\r';
    for (int b = 0; b < 256; ++b) {
        if (runTable_[b] != b) {
            runBytes_[runSize_++] = static_cast<unsigned char>(b);
            runIsIdentity_ = false;
        }
    }
}

#if defined(__SSE2__)
namespace {

// Up to this many distinct separators are compared a vector at a time.
constexpr std::size_t kVectorSetLimit = 8;

using TSeparatorVectors = TVectorByteSet<TSse2Bytes, kVectorSetLimit>;

} // namespace
#endif

// Flattened, so that the separator kernel is built into it.
__attribute__((flatten)) void TLineMapper::MapInto(const char* src, std::size_t n, char* dst) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    auto* out = reinterpret_cast<unsigned char*>(dst);
    std::size_t pos = 0;
    std::size_t occurrence = 0;
    const std::size_t listSize = replacement_.size();

#if defined(__SSE2__)
    using V = TSse2Bytes;
    const bool vector = setSize_ > 0 && setSize_ <= kVectorSetLimit && n >= V::kWidth;
    const TSeparatorVectors set(setBytes_.data(), vector ? setSize_ : 0);
    // While the list has entries left, every occurrence needs its own entry.
    if (vector) {
        while (occurrence < listSize && n - pos >= V::kWidth) {
            V::Vector v;
            V::Load(in + pos, v);
            V::Vector mask;
            set.Match(v, set.count, mask);
            std::uint32_t bits = V::Bits(mask);
            V::Store(out + pos, v);
            for (; bits != 0 && occurrence < listSize; bits &= bits - 1) {
                const short r = replacement_[occurrence++];
                if (r != kKeep)
                    out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = static_cast<unsigned char>(r);
            }
            // The list ran out inside this block: the rest of it already
            // follows the rule beyond the list.
            for (; bits != 0 && !beyondIsIdentity_; bits &= bits - 1)
                out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = beyondByte_;
            pos += V::kWidth;
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
    if (vector && n - pos >= V::kWidth) {
        V::Vector with;
        V::Broadcast(beyondByte_, with);
        if (setSize_ == 1)
            set.Map(in + pos, out + pos, n - pos, 1, with);
        else
            set.Map(in + pos, out + pos, n - pos, set.count, with);
        return;
    }
#endif
    for (; pos < n; ++pos)
        out[pos] = beyondTable_[in[pos]];
}

namespace {

// Up to this many distinct bytes that change are compared a vector at a
// time in a run; more go through the table one byte at a time.
constexpr std::size_t kRunVectorLimit = 4;

template <std::size_t Count>
void MapRunScalar(const unsigned char* from, unsigned char* to, std::size_t n, const unsigned char* bytes,
                  unsigned char with)
{
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char b = from[i];
        for (std::size_t k = 0; k < Count; ++k) {
            if (b == bytes[k])
                b = with;
        }
        to[i] = b;
    }
}

void MapRunWithTable(const unsigned char* from, unsigned char* to, std::size_t n,
                     const std::array<unsigned char, 256>& table)
{
    for (std::size_t i = 0; i < n; ++i)
        to[i] = table[from[i]];
}

// One entry per vector width that pulls the whole kernel into itself, so
// that its compares unroll for Count and, for AVX2, are built for AVX2.
#if defined(__SSE2__)
template <std::size_t Count>
__attribute__((flatten)) void MapMatchingSse2(const unsigned char* from, unsigned char* to, std::size_t n,
                                              const unsigned char* bytes, unsigned char with)
{
    MapMatching<TSse2Bytes, Count>(from, to, n, bytes, with);
}
#endif

#if defined(MORVANE_HAVE_AVX2_KERNELS)
template <std::size_t Count>
__attribute__((target("avx2"), flatten)) void MapMatchingAvx2(const unsigned char* from, unsigned char* to,
                                                              std::size_t n, const unsigned char* bytes,
                                                              unsigned char with)
{
    MapMatching<TAvx2Bytes, Count>(from, to, n, bytes, with);
}
#endif

// The replacement is never one of the bytes that change, so the kernels'
// overlapping last block is safe in place.
template <std::size_t Count>
void MapRunVector(const unsigned char* from, unsigned char* to, std::size_t n, const unsigned char* bytes,
                  unsigned char with)
{
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (kHaveAvx2 && n >= TAvx2Bytes::kWidth) {
        MapMatchingAvx2<Count>(from, to, n, bytes, with);
        return;
    }
#endif
#if defined(__SSE2__)
    if (n >= TSse2Bytes::kWidth) {
        MapMatchingSse2<Count>(from, to, n, bytes, with);
        return;
    }
#endif
    MapRunScalar<Count>(from, to, n, bytes, with);
}

} // namespace

void TLineMapper::MapRun(const unsigned char* from, unsigned char* to, std::size_t n) const
{
    // Every byte that changes turns into the one replacement beyond the list.
    switch (runSize_) {
    case 0:
        if (from != to)
            std::memcpy(to, from, n);
        return;
    case 1:
        MapRunVector<1>(from, to, n, runBytes_.data(), beyondByte_);
        return;
    case 2:
        MapRunVector<2>(from, to, n, runBytes_.data(), beyondByte_);
        return;
    case 3:
        MapRunVector<3>(from, to, n, runBytes_.data(), beyondByte_);
        return;
    case 4:
        MapRunVector<4>(from, to, n, runBytes_.data(), beyondByte_);
        return;
    default:
        MapRunWithTable(from, to, n, runTable_);
    }
    static_assert(kRunVectorLimit == 4);
}

std::size_t TLineMapper::CountSeparators(const char* text, std::size_t n) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    std::size_t count = 0;
    std::size_t pos = 0;
#if defined(__SSE2__)
    if (setSize_ > 0 && setSize_ <= kVectorSetLimit && n >= TSse2Bytes::kWidth) {
        const TSeparatorVectors set(setBytes_.data(), setSize_);
        for (; n - pos >= TSse2Bytes::kWidth; pos += TSse2Bytes::kWidth) {
            TSse2Bytes::Vector v;
            TSse2Bytes::Load(in + pos, v);
            TSse2Bytes::Vector mask;
            set.Match(v, setSize_, mask);
            count += static_cast<std::size_t>(__builtin_popcount(TSse2Bytes::Bits(mask)));
        }
    }
#endif
    for (; pos < n; ++pos)
        count += separator_[in[pos]];
    return count;
}

std::string TLineMapper::Map(std::string_view line) const
{
    std::string result(line.size(), '\0');
    MapInto(line.data(), line.size(), result.data());
    return result;
}

} // namespace morvane
