#pragma once

#include <QString>

#include <string>
#include <string_view>

// The window shows bytes as Windows-1252 characters. Every byte has a
// character (the five bytes the code page leaves undefined map to the C1
// control characters of the same value, as the platform's own conversion
// does), so bytes -> text -> bytes is lossless.
class Windows1252 {
public:
    static QString Decode(std::string_view bytes);
    // Characters that have no byte become '?'.
    static std::string Encode(const QString& text);
    static char32_t ToUnicode(unsigned char byte);
    // The byte for `codePoint`, or -1 when the code page has none.
    static int FromUnicode(char32_t codePoint);
    static bool Representable(char32_t codePoint) { return FromUnicode(codePoint) >= 0; }
    // Replaces every character without a byte by '?' (a surrogate pair
    // counts as one character).
    static QString Sanitize(const QString& text);
};
