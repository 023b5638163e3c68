#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace morvane {

struct TLocaleTimeSettings;

// Parses a clock text by the regional settings into a fraction of a day.
// Raises EConvertError "'<text>' is not a valid time" on any failure.
double TimeOfDayFromText(const std::string& text);

// Same grammar without the error; `result` is meaningless on false.
bool TryTimeOfDayFromText(const std::string& text, double& result);

// The same scanner on a borrowed range of bytes, so callers that cut a clock
// text out of a longer line need not copy it. Named apart from the string
// overload so that a literal argument stays unambiguous.
bool TryTimeOfDayFromBytes(std::string_view text, double& result);

// Milliseconds since midnight (0 to 86 399 999) of a clock text; false when
// the text is no time of day. The fraction of a day is derived from this.
bool TryMillisecondOfDayFromBytes(std::string_view text, std::int32_t& milliseconds);

// A worksheet cell's clock text as a fraction of a day: the same grammar,
// but the minutes must follow the hour, and the digits after the fraction
// separator are a decimal fraction of a second ("12:00:00.5" is half a
// second past noon). `partOfSecond` tells whether that fraction is not zero.
bool TryCellTimeOfDayFromBytes(std::string_view text, double& fractionOfDay, bool& partOfSecond);

// The general scanner alone, without the plain-form shortcut that
// TryMillisecondOfDayFromBytes takes first; the two must always agree.
bool TryMillisecondOfDayByScanner(std::string_view text, const TLocaleTimeSettings& settings,
                                  std::int32_t& milliseconds);

// The plain eight-byte form "hh:mm:ss" (with the regional clock separator),
// read without the general scanner. False when the text is not of that form
// or the settings could let it mean something else; the general scanner then
// decides. Where it answers true, the general scanner gives the same value.
bool TryPlainClockFromBytes(std::string_view text, const TLocaleTimeSettings& settings,
                            std::int32_t& milliseconds);

// Whether the settings let the plain form mean only what it plainly says:
// the clock separator can neither continue a number field nor be skipped as
// a blank (nor stand for "no separator"), and no designator can match at a
// leading digit. A caller that reads many clock texts asks this once.
bool PlainClockFormApplies(const TLocaleTimeSettings& settings);

// The plain form at `eight` (eight bytes), for a caller that has made sure
// the form applies with `separator` as the clock separator.
inline bool TryPlainClock(const char* eight, char separator, std::int32_t& milliseconds)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // All eight bytes at once: the digits less '0' and the separators less
    // themselves, so that a good text leaves digit values and zeros.
    std::uint64_t word;
    std::memcpy(&word, eight, sizeof word);
    const auto sep = static_cast<std::uint64_t>(static_cast<unsigned char>(separator));
    const std::uint64_t x = word ^ (0x3030'0030'3000'3030ull | sep << 16 | sep << 40);
    constexpr std::uint64_t separatorLanes = 0x0000'ff00'00ff'0000ull;
    // A lane below 10 gains no high bit from adding 0x76; one that already
    // has it fails anyway, so a carry out of it cannot hide a failure.
    constexpr std::uint64_t digitHigh = 0x8080'0080'8000'8080ull;
    if ((x & separatorLanes) != 0 || ((x + 0x7676'0076'7600'7676ull) | x) & digitHigh)
        return false;
    const auto lane = [x](int i) { return static_cast<unsigned>(x >> (8 * i)) & 0xffu; };
    const unsigned hour = lane(0) * 10 + lane(1);
    const unsigned minute = lane(3) * 10 + lane(4);
    const unsigned second = lane(6) * 10 + lane(7);
#else
    const auto digit = [eight](int i) {
        return static_cast<unsigned>(static_cast<unsigned char>(eight[i])) - '0';
    };
    if (eight[2] != separator || eight[5] != separator || digit(0) > 9 || digit(1) > 9 || digit(3) > 9 ||
        digit(4) > 9 || digit(6) > 9 || digit(7) > 9)
        return false;
    const unsigned hour = digit(0) * 10 + digit(1);
    const unsigned minute = digit(3) * 10 + digit(4);
    const unsigned second = digit(6) * 10 + digit(7);
#endif
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    milliseconds = static_cast<std::int32_t>(hour * 3'600'000u + minute * 60'000u + second * 1'000u);
    return true;
}

// The eight bytes of the plain form (with `separator`) of a whole second
// of the day, `milliseconds` from midnight.
inline std::uint64_t PlainClockText(std::int32_t milliseconds, char separator)
{
    const auto second = static_cast<std::uint32_t>(milliseconds / 1000);
    const std::uint32_t hour = second / 3600;
    const std::uint32_t minute = second / 60 % 60;
    const std::uint32_t sec = second % 60;
    const char text[8] = {static_cast<char>('0' + hour / 10),   static_cast<char>('0' + hour % 10),   separator,
                          static_cast<char>('0' + minute / 10), static_cast<char>('0' + minute % 10), separator,
                          static_cast<char>('0' + sec / 10),    static_cast<char>('0' + sec % 10)};
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return word;
}

// The plain form of the second after the one whose plain form is `word`,
// `next` milliseconds of the day (below a day's). The seconds' digits are
// the two highest bytes of a little-endian word: the last alone moves nine
// times out of ten, the two of them together all but once a minute. Lines
// a second apart are read by comparing their eight bytes with this.
inline std::uint64_t NextPlainClockText(std::uint64_t word, std::int32_t next, char separator)
{
    constexpr unsigned last = 56;
    constexpr unsigned tens = 48;
    if (std::endian::native == std::endian::little && (word >> last & 0xff) != '9')
        return word + (std::uint64_t{1} << last);
    if (std::endian::native == std::endian::little && (word >> tens & 0xff) != '5')
        return word - (std::uint64_t{9} << last) + (std::uint64_t{1} << tens);
    return PlainClockText(next, separator);
}

// The message of the error raised for a text that is no time of day; built
// only when a parse has failed.
std::string InvalidTimeMessage(std::string_view text);

} // namespace morvane
