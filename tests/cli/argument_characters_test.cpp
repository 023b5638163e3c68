#include <gtest/gtest.h>

#include <string>

#include "ArgumentCharacters.h"
#include "TCommandLine.h"

namespace {

using morvane::TArgumentEncoding;
using morvane::Windows1252FromArgument;

TEST(ArgumentCharacters, Utf8CharactersBecomeTheirWindows1252BytesAndStrayBytesStay)
{
    struct Case {
        std::string argument;
        std::string bytes;
    };
    const Case cases[] = {
        {",;", ",;"},
        {"\xC2\xB0", "\xB0"},                  // degree sign
        {"\xC3\xA4x", "\xE4x"},                // a umlaut
        {"\xC2\xA7", "\xA7"},                  // section sign
        {"\xE2\x82\xAC\xE2\x80\x9C", "\x80\x93"}, // euro sign, left double quote
        {"\xC2\x81", "\x81"},                  // undefined byte, as its C1 control
        {"\xE9", "\xE9"},                      // a raw Latin-1 byte
        {"\xC3", "\xC3"},                      // a sequence cut short
        {"\xC0\xAC", "\xC0\xAC"},              // overlong ','
        {"\xED\xA0\x80", "\xED\xA0\x80"},      // surrogate
    };
    for (const Case& c : cases)
        EXPECT_EQ(Windows1252FromArgument(c.argument, TArgumentEncoding::Utf8, "-s"), c.bytes) << c.argument;
    EXPECT_EQ(Windows1252FromArgument("\xC2\xB0", TArgumentEncoding::Bytes, "-s"), "\xC2\xB0");
}

TEST(ArgumentCharacters, CharacterWithoutAByteIsRefusedByName)
{
    std::string message;
    try {
        Windows1252FromArgument(";\xCE\xA9", TArgumentEncoding::Utf8, "--to");
    } catch (const morvane::EUsageError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "--to: \"\xCE\xA9\" (U+03A9) is not a Windows-1252 character");
}

} // namespace
