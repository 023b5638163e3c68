#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "TPlotBuckets.h"

namespace morvane {

// One field's numbers in one bucket while their texts keep one shape: the
// same length, and the same sign and decimal mark in the same places. Among
// such texts the order of the numbers is the order of their bytes, so the
// smallest, the largest, the first and the last are kept as texts, and only
// they are read as numbers, when the run ends. Most lines of a long file
// then cost a field a few word operations instead of a reading.
class TNumberRun {
public:
    // The longest text a run takes.
    static constexpr std::size_t kLongest = 7;

    // A field's text as a run keeps it: its bytes in a word (none past its
    // end) and its shape.
    struct TText {
        std::uint64_t Word = 0;
        std::uint64_t Shape = 0;
    };

    // The text of the `length` bytes at `field` (1 to kLongest), of which
    // eight may be read.
    static TText TextAt(const char* field, std::size_t length)
    {
        constexpr std::uint64_t kLanes = 0x0101'0101'0101'0101ull;
        std::uint64_t word;
        std::memcpy(&word, field, sizeof word);
        const std::uint64_t keep = (std::uint64_t{1} << 8 * length) - 1;
        word &= keep;
        // The bytes that are no digit, where they stand, each with its top
        // bit set (so that a NUL is told from a digit), and the length.
        const std::uint64_t digits = word ^ '0' * kLanes;
        const std::uint64_t other = (((digits & 0x7f * kLanes) + 0x76 * kLanes) | digits) & 0x80 * kLanes;
        return {word, (word & (other >> 7) * 0xff) | (other & keep) | std::uint64_t{length} << 56};
    }

    std::int64_t Count() const { return count_; }
    // Whether texts of `shape` go into this run.
    bool Takes(std::uint64_t shape) const { return count_ != 0 && shape == shape_; }

    // A run of `text`, whose shape reads as a number, at `time`.
    void Start(const TText& text, std::int64_t time);
    // The next line's text, of the run's shape, at `time`.
    void Add(std::uint64_t word, std::int64_t time)
    {
        const std::uint64_t key = Key(word);
        min_ = key < min_ ? key : min_;
        max_ = key > max_ ? key : max_;
        KeepFirstAndLast(time, key, firstTime_, first_, lastTime_, last_);
        ++count_;
    }
    // Adds the run to `bucket` as lines that follow its own, and ends it.
    void EndInto(TValueBucket& bucket);

private:
    friend class TRunLanes;

    // Orders texts of the run's shape as their numbers: a negative number
    // is the smaller the larger its digits.
    std::uint64_t Key(std::uint64_t word) const { return __builtin_bswap64(word) ^ flip_; }

    // Where the digits of the run's texts stand, worked out once for the
    // few numbers a run gives.
    struct TReading {
        unsigned Sign = 0;     // bytes before the digits
        bool Negative = false;
        std::uint64_t Below = ~std::uint64_t{0}; // the digits before the mark, once past the sign
        unsigned Count = 0;    // digits
        unsigned Fraction = 0; // digits after the mark
    };
    TReading Reading() const;
    double ValueOfKey(std::uint64_t key, const TReading& reading) const;

    std::uint64_t shape_ = 0;
    std::uint64_t flip_ = 0;
    std::uint64_t min_ = 0;
    std::uint64_t max_ = 0;
    std::uint64_t first_ = 0;
    std::uint64_t last_ = 0;
    std::int64_t firstTime_ = 0;
    std::int64_t lastTime_ = 0;
    std::int64_t count_ = 0;
};

} // namespace morvane
