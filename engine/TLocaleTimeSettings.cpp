#include "TLocaleTimeSettings.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#endif

#include <string_view>
#include <vector>

namespace morvane {

namespace {

// %T, %R and %r name whole clock formats and the separator sits inside them,
// so they are written out first. %r refers to the 12-hour format; a depth
// limit keeps a locale whose 12-hour format names %r again from looping.
std::string ExpandClockFormat(std::string_view format, std::string_view twelveHourFormat, int depth = 0)
{
    std::string out;
    out.reserve(format.size() + 8);
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const char conversion = format[++i];
        if (conversion == 'T')
            out += "%H:%M:%S";
        else if (conversion == 'R')
            out += "%H:%M";
        else if (conversion == 'r' && depth < 2)
            out += ExpandClockFormat(twelveHourFormat, twelveHourFormat, depth + 1);
        else {
            out += '%';
            out += conversion;
        }
    }
    return out;
}

enum class TokenKind { Literal, Hour, Minute, OtherField };

struct Token {
    TokenKind kind;
    char literal = '\0';
};

// Splits a format into literal bytes and fields. A field is '%', optional
// flags and width, an optional E or O modifier, then its conversion
// character; %%, %n and %t are literal bytes. False for a format cut off
// inside a field.
bool Tokenize(std::string_view format, std::vector<Token>& tokens)
{
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            tokens.push_back({TokenKind::Literal, format[i]});
            continue;
        }
        std::size_t j = i + 1;
        while (j < format.size() && std::string_view("-_0^#").find(format[j]) != std::string_view::npos)
            ++j;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9')
            ++j;
        if (j < format.size() && (format[j] == 'E' || format[j] == 'O'))
            ++j;
        if (j >= format.size())
            return false;
        switch (format[j]) {
        case '%': tokens.push_back({TokenKind::Literal, '%'}); break;
        case 'n': tokens.push_back({TokenKind::Literal, '\n'}); break;
        case 't': tokens.push_back({TokenKind::Literal, '\t'}); break;
        case 'H': case 'I': case 'k': case 'l': tokens.push_back({TokenKind::Hour}); break;
        case 'M': tokens.push_back({TokenKind::Minute}); break;
        default: tokens.push_back({TokenKind::OtherField}); break;
        }
        i = j;
    }
    return true;
}

// A character item holds one byte or nothing: a longer value does not fit
// and gives the default; an empty one is kept as NUL, which the parser
// treats as "no separator".
char CharacterItem(bool readable, std::string_view value, char fallback)
{
    if (!readable || value.size() > 1)
        return fallback;
    return value.empty() ? '\0' : value[0];
}

} // namespace

bool ClockSeparatorOfFormat(std::string_view format, std::string_view twelveHourFormat,
                            std::string& separator)
{
    std::vector<Token> tokens;
    if (!Tokenize(ExpandClockFormat(format, twelveHourFormat), tokens))
        return false;
    std::size_t i = 0;
    while (i < tokens.size() && tokens[i].kind != TokenKind::Hour)
        ++i;
    if (i == tokens.size())
        return false;
    std::string between;
    for (++i; i < tokens.size() && tokens[i].kind == TokenKind::Literal; ++i)
        between += tokens[i].literal;
    if (i == tokens.size() || tokens[i].kind != TokenKind::Minute)
        return false;
    separator = std::move(between);
    return true;
}

TLocaleTimeSettings& LocaleTimeSettings()
{
    static TLocaleTimeSettings settings;
    return settings;
}

TLocaleTimeSettings LocaleTimeSettingsFromItems(const TLocaleTimeItems& items)
{
    const TLocaleTimeSettings defaults;
    TLocaleTimeSettings settings;

    std::string clock;
    const bool clockReadable = items.TimeFormat != nullptr
        && ClockSeparatorOfFormat(items.TimeFormat,
                                  items.TwelveHourTimeFormat ? items.TwelveHourTimeFormat : "", clock);
    settings.ClockSeparator = CharacterItem(clockReadable, clock, defaults.ClockSeparator);

    settings.FractionSeparator = CharacterItem(items.RadixCharacter != nullptr,
                                               items.RadixCharacter ? items.RadixCharacter : "",
                                               defaults.FractionSeparator);

    // An empty designator is a region's real value (24-hour regions have
    // none) and stays empty; only an unreadable one takes the default.
    settings.AmMark = items.AmDesignator ? std::string(items.AmDesignator) : defaults.AmMark;
    settings.PmMark = items.PmDesignator ? std::string(items.PmDesignator) : defaults.PmMark;
    return settings;
}

#ifdef _WIN32

namespace {

// The engine's texts are bytes of the ANSI code page; false for a text that
// has no exact form there.
bool AnsiFromWide(const wchar_t* wide, int length, std::string& ansi)
{
    ansi.clear();
    if (length == 0)
        return true;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    ansi.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, wide, length, ansi.data(), n, nullptr, &lossy);
    return !lossy;
}

// A character item is asked for with room for one character and its
// terminator, so a longer value does not fit and gives the default.
char CharacterItemOfUser(LCTYPE item, char fallback)
{
    wchar_t value[2] = {};
    const int got = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, value, 2);
    std::string ansi;
    const bool readable = got > 0 && AnsiFromWide(value, got - 1, ansi);
    return CharacterItem(readable, ansi, fallback);
}

std::string TextItemOfUser(LCTYPE item, const std::string& fallback)
{
    wchar_t value[256] = {};
    const int got = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, value, 256);
    std::string ansi;
    if (got <= 0 || !AnsiFromWide(value, got - 1, ansi))
        return fallback;
    return ansi;
}

} // namespace

void LoadLocaleTimeSettings()
{
    const TLocaleTimeSettings defaults;
    TLocaleTimeSettings settings;
    settings.ClockSeparator = CharacterItemOfUser(LOCALE_STIME, defaults.ClockSeparator);
    settings.FractionSeparator = CharacterItemOfUser(LOCALE_SDECIMAL, defaults.FractionSeparator);
    settings.AmMark = TextItemOfUser(LOCALE_S1159, defaults.AmMark);
    settings.PmMark = TextItemOfUser(LOCALE_S2359, defaults.PmMark);
    LocaleTimeSettings() = settings;
}

#else

void LoadLocaleTimeSettings()
{
    TLocaleTimeItems items;
    items.TimeFormat = nl_langinfo(T_FMT);
    items.TwelveHourTimeFormat = nl_langinfo(T_FMT_AMPM);
    items.RadixCharacter = nl_langinfo(RADIXCHAR);
    items.AmDesignator = nl_langinfo(AM_STR);
    items.PmDesignator = nl_langinfo(PM_STR);
    LocaleTimeSettings() = LocaleTimeSettingsFromItems(items);
}

#endif

} // namespace morvane
