#include "TimeOfDay.h"

#include <cctype>
#include <clocale>
#include <cstdlib>

#include "EConvertError.h"
#include "TLocaleTimeSettings.h"

namespace morvane {

namespace {

constexpr std::int32_t MillisecondsPerDay = 86'400'000;

unsigned char AsciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// ASCII letters fold plainly in every locale. Bytes above 127 are letters
// only in a single-byte locale, where the C library's tables know their case;
// in a multibyte locale they are pieces of characters and compare exactly.
bool SameLetterIgnoringCase(unsigned char a, unsigned char b)
{
    if (a == b)
        return true;
    if (a < 128 && b < 128)
        return AsciiLower(a) == AsciiLower(b);
    if (a < 128 || b < 128 || MB_CUR_MAX != 1)
        return false;
    return std::tolower(a) == std::tolower(b) || std::toupper(a) == std::toupper(b);
}

// The clock fields as read; Fraction holds the digits after the fraction
// separator, as a count of milliseconds or, by the cells' rule, of
// billionths of a second.
struct TClockFields {
    unsigned Hour = 0;
    unsigned Minute = 0;
    unsigned Second = 0;
    std::uint64_t Fraction = 0;
};

class TimeScanner {
public:
    // `cellRules`: the reading of a worksheet cell, where the minutes must
    // be there and the digits after the fraction separator are a decimal
    // fraction of a second, as spreadsheets read them. The relative time
    // column counts those digits as milliseconds and takes a lone hour.
    TimeScanner(std::string_view text, const TLocaleTimeSettings& settings, bool cellRules = false)
        : text_(text), settings_(settings), cellRules_(cellRules)
    {
    }

    bool Parse(std::int32_t& milliseconds)
    {
        TClockFields f;
        if (!ParseFields(f))
            return false;
        milliseconds = static_cast<std::int32_t>(f.Hour * 3'600'000u + f.Minute * 60'000u + f.Second * 1'000u +
                                                 static_cast<unsigned>(f.Fraction));
        return true;
    }

    bool ParseFields(TClockFields& f)
    {
        int baseHour = 0;
        bool designator = MatchDesignator(baseHour);
        if (designator)
            SkipBlanks();

        if (!NumberField(f.Hour))
            return false;

        unsigned millisecond = 0;
        if (Separator(settings_.ClockSeparator)) {
            if (!NumberField(f.Minute))
                return false;
            if (Separator(settings_.ClockSeparator)) {
                if (!NumberField(f.Second))
                    return false;
                if (Separator(settings_.FractionSeparator) &&
                    !(cellRules_ ? DecimalFraction(f.Fraction) : NumberField(millisecond)))
                    return false;
            }
        } else if (cellRules_) {
            return false;
        }

        if (!designator)
            designator = MatchDesignator(baseHour);
        if (designator) {
            if (f.Hour < 1 || f.Hour > 12)
                return false;
            if (f.Hour == 12)
                f.Hour = 0;
            f.Hour += static_cast<unsigned>(baseHour);
        }

        SkipBlanks();
        if (f.Hour > 23 || f.Minute > 59 || f.Second > 59 || millisecond > 999)
            return false;
        if (pos_ != text_.size())
            return false;
        if (!cellRules_)
            f.Fraction = millisecond;
        return true;
    }

private:
    void SkipBlanks()
    {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }

    // Digits are taken while the value read so far is below 1000, so a field
    // never exceeds 9999 and any further digit is left for the next step.
    bool NumberField(unsigned& value)
    {
        SkipBlanks();
        value = 0;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9' && value < 1000) {
            value = value * 10 + static_cast<unsigned>(text_[pos_] - '0');
            ++pos_;
        }
        return pos_ != start;
    }

    // Every digit, as billionths of a second: the tenth and later digits are
    // below what a time of day in a double resolves, and are dropped.
    bool DecimalFraction(std::uint64_t& billionths)
    {
        const std::size_t start = pos_;
        std::uint64_t scale = 100'000'000;
        billionths = 0;
        for (; pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; ++pos_) {
            billionths += static_cast<std::uint64_t>(text_[pos_] - '0') * scale;
            scale /= 10;
        }
        return pos_ != start;
    }

    // A regional value that exists but is empty is kept as the NUL byte; it
    // stands for "no separator" and so never matches a byte of the text.
    bool Separator(char separator)
    {
        SkipBlanks();
        if (separator == '\0' || pos_ >= text_.size() || text_[pos_] != separator)
            return false;
        ++pos_;
        return true;
    }

    bool DesignatorAt(std::string_view designator)
    {
        if (designator.empty() || text_.size() - pos_ < designator.size())
            return false;
        for (std::size_t i = 0; i < designator.size(); ++i) {
            if (!SameLetterIgnoringCase(static_cast<unsigned char>(text_[pos_ + i]),
                                        static_cast<unsigned char>(designator[i])))
                return false;
        }
        pos_ += designator.size();
        return true;
    }

    // The regional forms come first, then the literal English ones, so a
    // region without designators still reads "7 PM".
    bool MatchDesignator(int& baseHour)
    {
        SkipBlanks();
        if (DesignatorAt(settings_.AmMark) || DesignatorAt("AM")) {
            baseHour = 0;
            return true;
        }
        if (DesignatorAt(settings_.PmMark) || DesignatorAt("PM")) {
            baseHour = 12;
            return true;
        }
        return false;
    }

    std::string_view text_;
    const TLocaleTimeSettings& settings_;
    bool cellRules_;
    std::size_t pos_ = 0;
};

} // namespace

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool PlainClockFormApplies(const TLocaleTimeSettings& settings)
{
    const char separator = settings.ClockSeparator;
    return separator != '\0' && separator != ' ' && !IsDigit(separator) &&
           (settings.AmMark.empty() || !IsDigit(settings.AmMark[0])) &&
           (settings.PmMark.empty() || !IsDigit(settings.PmMark[0]));
}

bool TryPlainClockFromBytes(std::string_view text, const TLocaleTimeSettings& settings,
                            std::int32_t& milliseconds)
{
    return text.size() == 8 && PlainClockFormApplies(settings) &&
           TryPlainClock(text.data(), settings.ClockSeparator, milliseconds);
}

bool TryMillisecondOfDayByScanner(std::string_view text, const TLocaleTimeSettings& settings,
                                  std::int32_t& milliseconds)
{
    return TimeScanner(text, settings).Parse(milliseconds);
}

bool TryMillisecondOfDayFromBytes(std::string_view text, std::int32_t& milliseconds)
{
    const TLocaleTimeSettings& settings = LocaleTimeSettings();
    return TryPlainClockFromBytes(text, settings, milliseconds) ||
           TimeScanner(text, settings).Parse(milliseconds);
}

bool TryCellTimeOfDayFromBytes(std::string_view text, double& fractionOfDay, bool& partOfSecond)
{
    TClockFields f;
    if (!TimeScanner(text, LocaleTimeSettings(), true).ParseFields(f))
        return false;
    // Both terms are exact in a double, so the one rounding is the
    // division's, and a fraction of whole milliseconds gives the value the
    // millisecond count gives.
    constexpr std::uint64_t billion = 1'000'000'000;
    const std::uint64_t seconds = f.Hour * 3'600u + f.Minute * 60u + f.Second;
    fractionOfDay = static_cast<double>(seconds * billion + f.Fraction) / static_cast<double>(86'400 * billion);
    partOfSecond = f.Fraction != 0;
    return true;
}

bool TryTimeOfDayFromBytes(std::string_view text, double& result)
{
    std::int32_t milliseconds = 0;
    if (!TryMillisecondOfDayFromBytes(text, milliseconds))
        return false;
    result = static_cast<double>(milliseconds) / MillisecondsPerDay;
    return true;
}

bool TryTimeOfDayFromText(const std::string& text, double& result)
{
    return TryTimeOfDayFromBytes(text, result);
}

std::string InvalidTimeMessage(std::string_view text)
{
    static constexpr std::string_view tail = "' is not a valid time";
    std::string message;
    message.reserve(1 + text.size() + tail.size());
    message += '\'';
    message += text;
    message += tail;
    return message;
}

double TimeOfDayFromText(const std::string& text)
{
    double result = 0.0;
    if (!TryTimeOfDayFromBytes(text, result))
        throw EConvertError(InvalidTimeMessage(text));
    return result;
}

} // namespace morvane
