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

class TimeScanner {
public:
    TimeScanner(std::string_view text, const TLocaleTimeSettings& settings)
        : text_(text), settings_(settings)
    {
    }

    bool Parse(std::int32_t& milliseconds)
    {
        int baseHour = 0;
        bool designator = MatchDesignator(baseHour);
        if (designator)
            SkipBlanks();

        unsigned hour = 0;
        if (!NumberField(hour))
            return false;

        unsigned minute = 0;
        unsigned second = 0;
        unsigned millisecond = 0;
        if (Separator(settings_.ClockSeparator)) {
            if (!NumberField(minute))
                return false;
            if (Separator(settings_.ClockSeparator)) {
                if (!NumberField(second))
                    return false;
                if (Separator(settings_.FractionSeparator) && !NumberField(millisecond))
                    return false;
            }
        }

        if (!designator)
            designator = MatchDesignator(baseHour);
        if (designator) {
            if (hour < 1 || hour > 12)
                return false;
            if (hour == 12)
                hour = 0;
            hour += static_cast<unsigned>(baseHour);
        }

        SkipBlanks();
        if (hour > 23 || minute > 59 || second > 59 || millisecond > 999)
            return false;
        if (pos_ != text_.size())
            return false;

        milliseconds = static_cast<std::int32_t>(hour * 3'600'000u + minute * 60'000u
                                                 + second * 1'000u + millisecond);
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
