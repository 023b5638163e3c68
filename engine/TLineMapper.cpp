#include "TLineMapper.h"

#include <cassert>
#include <cstring>

#include "LineRules.h"
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

namespace {

// Up to this many distinct separators are compared a vector at a time.
constexpr std::size_t kVectorSetLimit = 8;

} // namespace

template <typename V>
struct TLineMapper::TMapInto {
    static std::size_t Run(const TLineMapper* mapper, const char* src, std::size_t n, char* dst,
                           std::size_t occurrence)
    {
        const TLineMapper& m = *mapper;
        const auto* in = reinterpret_cast<const unsigned char*>(src);
        auto* out = reinterpret_cast<unsigned char*>(dst);
        std::size_t pos = 0;
        const std::size_t listSize = m.replacement_.size();

        const bool vector = m.setSize_ > 0 && m.setSize_ <= kVectorSetLimit && n >= V::kWidth;
        const TVectorByteSet<V, kVectorSetLimit> set(m.setBytes_.data(), vector ? m.setSize_ : 0);
        // While the list has entries left, every occurrence needs its own entry.
        if (vector) {
            while (occurrence < listSize && n - pos >= V::kWidth) {
                typename V::Vector v;
                V::Load(in + pos, v);
                typename V::Vector mask;
                set.Match(v, set.count, mask);
                std::uint32_t bits = V::Bits(mask);
                V::Store(out + pos, v);
                for (; bits != 0 && occurrence < listSize; bits &= bits - 1) {
                    const short r = m.replacement_[occurrence++];
                    if (r != kKeep)
                        out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = static_cast<unsigned char>(r);
                }
                // The list ran out inside this block: the rest of it already
                // follows the rule beyond the list.
                for (; bits != 0 && !m.beyondIsIdentity_; bits &= bits - 1)
                    out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = m.beyondByte_;
                pos += V::kWidth;
            }
        }
        while (occurrence < listSize && pos < n) {
            const unsigned char b = in[pos];
            unsigned char result = b;
            if (m.separator_[b]) {
                const short r = m.replacement_[occurrence++];
                if (r != kKeep)
                    result = static_cast<unsigned char>(r);
            }
            out[pos++] = result;
        }

        if (pos == n)
            return occurrence;
        if (m.beyondIsIdentity_) {
            if (out != in)
                std::memcpy(out + pos, in + pos, n - pos);
            return occurrence;
        }
        // The overlapping last block may only reach back over bytes that are
        // past the list as well.
        if (vector && n - pos >= V::kWidth) {
            typename V::Vector with;
            V::Broadcast(m.beyondByte_, with);
            // One separator: a constant count, so that the compare unrolls.
            if (m.setSize_ == 1)
                set.Map(in + pos, out + pos, n - pos, 1, with);
            else
                set.Map(in + pos, out + pos, n - pos, set.count, with);
            return occurrence;
        }
        for (; pos < n; ++pos)
            out[pos] = m.beyondTable_[in[pos]];
        return occurrence;
    }
};

void TLineMapper::MapInto(const char* src, std::size_t n, char* dst) const
{
    AtProcessWidthFor<TMapInto>(n, this, src, n, dst, std::size_t{0});
}

std::size_t TLineMapper::MapPiece(const char* src, std::size_t n, char* dst, std::size_t occurrence) const
{
    return AtProcessWidthFor<TMapInto>(n, this, src, n, dst, occurrence);
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

// The replacement is never one of the bytes that change, so the kernels'
// overlapping last block is safe in place.
template <std::size_t Count>
struct TMapRunOf {
    template <typename V>
    struct TKernel {
        static void Run(const unsigned char* from, unsigned char* to, std::size_t n, const unsigned char* bytes,
                        unsigned char with)
        {
            if (n >= V::kWidth)
                MapMatching<V, Count>(from, to, n, bytes, with);
            else
                MapRunScalar<Count>(from, to, n, bytes, with);
        }
    };
};

template <std::size_t Count>
void MapRunVector(const unsigned char* from, unsigned char* to, std::size_t n, const unsigned char* bytes,
                  unsigned char with)
{
    AtProcessWidthFor<TMapRunOf<Count>::template TKernel>(n, from, to, n, bytes, with);
}

} // namespace

void TLineMapper::MapRun(const unsigned char* from, unsigned char* to, std::size_t n) const
{
    assert(MapsEveryOccurrenceAlike() && "MapRun maps runs only for a map without a list");
    // The vector kernels' last block reaches back over bytes already
    // mapped: in place that is harmless, a partial overlap is not.
    assert((from == to || from + n <= to || to + n <= from) && "MapRun's input and output overlap");
    // Every byte that changes turns into the one replacement beyond the list.
    using TMapRun = void (*)(const unsigned char*, unsigned char*, std::size_t, const unsigned char*, unsigned char);
    static constexpr TMapRun kVectorRuns[kRunVectorLimit + 1] = {nullptr, &MapRunVector<1>, &MapRunVector<2>,
                                                                 &MapRunVector<3>, &MapRunVector<4>};
    if (runSize_ == 0) {
        if (from != to)
            std::memcpy(to, from, n);
    } else if (runSize_ <= kRunVectorLimit) {
        kVectorRuns[runSize_](from, to, n, runBytes_.data(), beyondByte_);
    } else {
        MapRunWithTable(from, to, n, runTable_);
    }
}

template <typename V>
struct TLineMapper::TCountSeparators {
    static std::size_t Run(const TLineMapper* mapper, const char* text, std::size_t n)
    {
        const TLineMapper& m = *mapper;
        const auto* in = reinterpret_cast<const unsigned char*>(text);
        std::size_t count = 0;
        std::size_t pos = 0;
        if (m.setSize_ > 0 && m.setSize_ <= kVectorSetLimit && n >= V::kWidth) {
            const TVectorByteSet<V, kVectorSetLimit> set(m.setBytes_.data(), m.setSize_);
            for (; n - pos >= V::kWidth; pos += V::kWidth) {
                typename V::Vector v;
                V::Load(in + pos, v);
                typename V::Vector mask;
                set.Match(v, m.setSize_, mask);
                count += static_cast<std::size_t>(__builtin_popcount(V::Bits(mask)));
            }
            // The rest as the last vector of the text, less the bytes of it
            // already counted.
            if (pos < n) {
                typename V::Vector v;
                V::Load(in + n - V::kWidth, v);
                typename V::Vector mask;
                set.Match(v, m.setSize_, mask);
                const std::uint32_t bits = V::Bits(mask) >> (V::kWidth - (n - pos));
                count += static_cast<std::size_t>(__builtin_popcount(bits));
                pos = n;
            }
        }
        for (; pos < n; ++pos)
            count += m.separator_[in[pos]];
        return count;
    }
};

std::size_t TLineMapper::CountSeparators(const char* text, std::size_t n) const
{
    return AtProcessWidthFor<TCountSeparators>(n, this, text, n);
}

template <typename V>
struct TLineMapper::TCountSeparatorsOfLines {
    static void Run(const TLineMapper* mapper, const unsigned char* text, const std::uint32_t* lf,
                    std::size_t count, std::uint32_t* counts, std::uint64_t* separatorBits)
    {
        const TLineMapper& m = *mapper;
        const TVectorByteSet<V, kVectorSetLimit> set(m.setBytes_.data(), m.setSize_);
        const std::size_t n = std::size_t{lf[count - 1]} + 1;
        // Separators before each line's LF, less those before its start.
        std::uint64_t before = 0; // in the blocks before this one
        std::uint64_t lineStart = 0;
        std::size_t line = 0;
        unsigned char last[kScanBlock];
        for (std::size_t at = 0; at < n; at += kScanBlock) {
            const unsigned char* block = text + at;
            if (n - at < kScanBlock) {
                // The lines' last bytes, padded with bytes that are no
                // separator: nothing past the lines is read.
                std::memset(last, kLF, sizeof last);
                std::memcpy(last, block, n - at);
                block = last;
            }
            std::uint64_t bits = 0;
            for (std::size_t i = 0; i < kScanBlock; i += V::kWidth) {
                typename V::Vector v;
                V::Load(block + i, v);
                typename V::Vector mask;
                set.Match(v, m.setSize_, mask);
                bits |= std::uint64_t{V::Bits(mask)} << i;
            }
            if (separatorBits != nullptr)
                separatorBits[at / kScanBlock] = bits;
            for (; line < count && lf[line] < at + kScanBlock; ++line) {
                const unsigned offset = static_cast<unsigned>(lf[line] - at);
                const std::uint64_t upToLf =
                    before + static_cast<std::uint64_t>(__builtin_popcountll(bits & ((std::uint64_t{1} << offset) - 1)));
                counts[line] = static_cast<std::uint32_t>(upToLf - lineStart);
                lineStart = upToLf;
            }
            before += static_cast<std::uint64_t>(__builtin_popcountll(bits));
        }
    }
};

bool TLineMapper::CountSeparatorsOfLines(const unsigned char* text, const std::uint32_t* lf, std::size_t count,
                                         std::uint32_t* counts, std::uint64_t* bits) const
{
    // The pass counts every byte up to each LF: where CR or LF are
    // separators themselves, or there are too many to compare, each line
    // is counted on its own.
    if (setSize_ == 0 || setSize_ > kVectorSetLimit || separator_[kCR] || separator_[kLF]) {
        for (std::size_t i = 0, from = 0; i < count; from = std::size_t{lf[i++]} + 1) {
            counts[i] = static_cast<std::uint32_t>(
                CountSeparators(reinterpret_cast<const char*>(text) + from, TextEnd(text, from, lf[i]) - from));
        }
        return false;
    }
    AtProcessWidth<TCountSeparatorsOfLines>(this, text, lf, count, counts, bits);
    return bits != nullptr;
}

std::string TLineMapper::Map(std::string_view line) const
{
    std::string result(line.size(), '\0');
    MapInto(line.data(), line.size(), result.data());
    return result;
}

} // namespace morvane
