#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace morvane {

// The digits of the last count written (Count is -1 while there is none),
// as WriteCountAfter keeps them.
struct TCountDigits {
    std::int64_t Count = -1;
    std::uint64_t Digits = 0;
    std::size_t Length = 1;
};

// Room for any count, so that its digits go straight to the output.
constexpr std::size_t kCountRoom = 24;

// Counts of up to eight digits (past midnight a count can have that many)
// are kept as one word.
constexpr std::size_t kCountWordDigits = 8;
constexpr std::int64_t kCountWordLimit = 100'000'000;

// Adds `add` (1 to 9) to decimal digits kept as WriteCountAfter keeps
// them, carrying from the last digit; false when the result would not fit
// the word.
inline bool AddToDigits(std::uint64_t& digits, std::size_t& length, unsigned add)
{
    for (std::size_t i = length; i-- > 0;) {
        const unsigned shift = 8 * static_cast<unsigned>(i);
        if (((digits >> shift) & 0xff) + add <= '9') {
            digits += std::uint64_t{add} << shift;
            return true;
        }
        // This digit less 10 - add, and one carried to the next.
        digits -= std::uint64_t{10 - add} << shift;
        add = 1;
    }
    // Carried out of the first digit: a leading one makes the number one
    // longer.
    if (length >= kCountWordDigits)
        return false;
    digits = digits << 8 | '1';
    ++length;
    return true;
}

// Takes one from such digits, borrowing from the last digit and dropping a
// leading zero; false for a lone zero.
inline bool TakeOneFromDigits(std::uint64_t& digits, std::size_t& length)
{
    for (std::size_t i = length; i-- > 0;) {
        const unsigned shift = 8 * static_cast<unsigned>(i);
        if (((digits >> shift) & 0xff) != '0') {
            digits -= std::uint64_t{1} << shift;
            if (length > 1 && (digits & 0xff) == '0') {
                digits >>= 8;
                --length;
            }
            return true;
        }
        digits += std::uint64_t{'9' - '0'} << shift;
    }
    return false;
}

// The decimal digits of a count of seconds, reusing those of the previous
// line's count. They are kept as one word in the order they are written, so
// that neither adding a second nor writing them out goes through single
// bytes.
[[gnu::always_inline]] inline char* WriteCountAfter(char* at, std::int64_t count, TCountDigits& last)
{
    if (count != last.Count) {
        // Counted on, or stepped a few seconds on: the last digits change.
        if (last.Count >= 0 && count == last.Count + 1 && AddToDigits(last.Digits, last.Length, 1)) {
        } else if (last.Count > 0 && count == last.Count - 1 &&
                   TakeOneFromDigits(last.Digits, last.Length)) {
        } else if (last.Count >= 0 && count > last.Count && count - last.Count <= 9 &&
                   AddToDigits(last.Digits, last.Length, static_cast<unsigned>(count - last.Count))) {
        } else if (std::endian::native == std::endian::little && count >= 0 && count < kCountWordLimit) {
            // The lowest digit first, each one shifting the others up: the
            // highest ends in the lowest byte, which comes first in memory.
            auto n = static_cast<std::uint32_t>(count);
            std::uint64_t digits = 0;
            std::size_t length = 0;
            do {
                digits = digits << 8 | ('0' + n % 10);
                n /= 10;
                ++length;
            } while (n != 0);
            last.Digits = digits;
            last.Length = length;
        } else {
            last.Count = -1;
            return std::to_chars(at, at + kCountRoom, count).ptr;
        }
        last.Count = count;
    }
    // All eight bytes, in the room the caller has (kCountRoom): those past
    // the digits are overwritten next.
    std::memcpy(at, &last.Digits, 8);
    return at + last.Length;
}

} // namespace morvane
