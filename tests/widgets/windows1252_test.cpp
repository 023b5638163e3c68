#include "Windows1252.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Windows1252, EveryByteSurvivesARoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = Windows1252::Decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(Windows1252::Encode(text), all);
}

TEST(Windows1252, EveryByteDecodesToItsOwnCharacter)
{
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const char32_t cp = Windows1252::ToUnicode(static_cast<unsigned char>(b));
        EXPECT_TRUE(seen.insert(cp).second) << "byte " << b;
        EXPECT_EQ(Windows1252::FromUnicode(cp), b);
    }
}

struct Mapping {
    unsigned char byte;
    char16_t unicode;
};

class Windows1252Mapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(Windows1252Mapping, DecodesAndEncodesBothWays)
{
    const Mapping m = GetParam();
    const std::string byte(1, static_cast<char>(m.byte));
    EXPECT_EQ(Windows1252::Decode(byte), QString(QChar(m.unicode)));
    EXPECT_EQ(Windows1252::Encode(QString(QChar(m.unicode))), byte);
}

INSTANTIATE_TEST_SUITE_P(Table, Windows1252Mapping,
                         ::testing::Values(Mapping{0x41, u'A'}, Mapping{0x00, u'\0'},
                                           Mapping{0x80, u'\u20AC'}, Mapping{0x85, u'\u2026'},
                                           Mapping{0x8A, u'\u0160'}, Mapping{0x96, u'\u2013'},
                                           Mapping{0x9F, u'\u0178'}, Mapping{0x81, u'\u0081'},
                                           Mapping{0x8D, u'\u008D'}, Mapping{0x8F, u'\u008F'},
                                           Mapping{0x90, u'\u0090'}, Mapping{0x9D, u'\u009D'},
                                           Mapping{0xA0, u'\u00A0'}, Mapping{0xE9, u'\u00E9'},
                                           Mapping{0xFF, u'\u00FF'}));

struct Unrepresentable {
    const char16_t* text;
    const char* bytes;
};

class Windows1252Unrepresentable : public ::testing::TestWithParam<Unrepresentable> {};

TEST_P(Windows1252Unrepresentable, BecomesQuestionMark)
{
    const QString text = QString::fromUtf16(GetParam().text);
    EXPECT_EQ(Windows1252::Encode(text), std::string(GetParam().bytes));
    EXPECT_EQ(Windows1252::Sanitize(text), QString::fromLatin1(GetParam().bytes)
                                               .replace(QChar(0x80), QChar(0x20AC)));
}

INSTANTIATE_TEST_SUITE_P(Table, Windows1252Unrepresentable,
                         ::testing::Values(Unrepresentable{u"a\u2192b", "a?b"},
                                           Unrepresentable{u"\u03A9", "?"},
                                           // A character outside the BMP is one "?", not two.
                                           Unrepresentable{u"x\U0001F600y", "x?y"},
                                           Unrepresentable{u"\u20AC\u0100", "\x80?"},
                                           Unrepresentable{u"\u0080", "?"}));

TEST(Windows1252, RepresentableMatchesTheCodePage)
{
    EXPECT_TRUE(Windows1252::Representable(U'\u20AC'));
    EXPECT_TRUE(Windows1252::Representable(U'\u00FF'));
    EXPECT_FALSE(Windows1252::Representable(U'\u0100'));
    EXPECT_FALSE(Windows1252::Representable(U'\u0080'));
    EXPECT_FALSE(Windows1252::Representable(U'\U0001F600'));
}

} // namespace
