#include "Windows1252.h"

#include <QList>

#include <array>

namespace {

// 0x80..0x9F; the undefined bytes keep their own value, as the platform's
// conversion does, so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

char32_t Windows1252::ToUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

int Windows1252::FromUnicode(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<int>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

QString Windows1252::Decode(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes)
        text.append(QChar(static_cast<char16_t>(ToUnicode(static_cast<unsigned char>(c)))));
    return text;
}

std::string Windows1252::Encode(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const uint cp : text.toUcs4()) {
        const int byte = FromUnicode(cp);
        bytes.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return bytes;
}

QString Windows1252::Sanitize(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const uint cp : text.toUcs4())
        out.append(Representable(cp) ? QChar(static_cast<char16_t>(cp)) : QChar(u'?'));
    return out;
}
