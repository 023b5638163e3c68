#include "ErrorReporting.h"
#include "MessageText.h"

#include "EConvertError.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace {

struct TPeriodCase {
    std::string message;
    std::string shown;
};

class ErrorPeriod : public ::testing::TestWithParam<TPeriodCase> {};

TEST_P(ErrorPeriod, IsAppendedOnlyAfterCharactersThatSortAfterAFullStop)
{
    EXPECT_EQ(WithErrorPeriod(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    LastCharacters, ErrorPeriod,
    ::testing::Values(
        TPeriodCase{"'12:3x:00' is not a valid time", "'12:3x:00' is not a valid time."},
        TPeriodCase{"ends in a digit 7", "ends in a digit 7."},
        TPeriodCase{"colon:", "colon:."},
        TPeriodCase{"semicolon;", "semicolon;."},
        TPeriodCase{"really?", "really?."},
        TPeriodCase{"bracket]", "bracket]."},
        TPeriodCase{"slash/", "slash/."},
        TPeriodCase{"caf\xC3\xA9", "caf\xC3\xA9."},
        TPeriodCase{"high byte \xE4", "high byte \xE4."},
        TPeriodCase{"Already done.", "Already done."},
        TPeriodCase{"Stop!", "Stop!"},
        TPeriodCase{"(see above)", "(see above)"},
        TPeriodCase{"quote'", "quote'"},
        TPeriodCase{"double\"", "double\""},
        TPeriodCase{"comma,", "comma,"},
        TPeriodCase{"hyphen-", "hyphen-"},
        TPeriodCase{"space ", "space "},
        TPeriodCase{"tab\t", "tab\t"},
        TPeriodCase{"", ""}));

struct TLastResortCase {
    const char* name;
    std::string className;
    std::string module;
    std::uintptr_t offset;
    std::string message;
    QString expected;
};

class LastResortFormat : public ::testing::TestWithParam<TLastResortCase> {};

TEST_P(LastResortFormat, FollowsTheFixedLayout)
{
    const TLastResortCase& c = GetParam();
    EXPECT_EQ(LastResortText(c.className, c.module, c.offset, c.message), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LastResortFormat,
    ::testing::Values(
        TLastResortCase{"MessageGetsPeriod", "EConvertError", "morvane", 0x1A2B,
                        "'x' is not a valid time",
                        "Exception EConvertError in module morvane at 00001A2B.\r\n"
                        "'x' is not a valid time.\r\n"},
        TLastResortCase{"FinalPeriodKept", "Exception", "libui.so", 0xABCDEF01, "Done.",
                        "Exception Exception in module libui.so at ABCDEF01.\r\nDone.\r\n"},
        // Only a full stop suppresses the suffix here, unlike the error box.
        TLastResortCase{"ExclamationStillGetsPeriod", "E", "m", 0, "Stop!",
                        "Exception E in module m at 00000000.\r\nStop!.\r\n"},
        TLastResortCase{"EmptyMessageNoSuffix", "int", "morvane", 0x10, "",
                        "Exception int in module morvane at 00000010.\r\n\r\n"},
        TLastResortCase{"WideOffsetKeepsAllDigits", "E", "m", 0x123456789ULL, "x",
                        "Exception E in module m at 123456789.\r\nx.\r\n"},
        TLastResortCase{"Windows1252MessageBytes", "E", "m", 1, "Gr\xFC\xDF",
                        QString::fromUtf8("Exception E in module m at 00000001.\r\nGrüß.\r\n")}),
    [](const ::testing::TestParamInfo<TLastResortCase>& info) { return std::string(info.param.name); });

TEST(LastResortFormat, IsCutToOneThousandTwentyFourCharacters)
{
    const std::string message(2000, 'm');
    const QString text = LastResortText("E", "morvane", 0, message);
    ASSERT_EQ(text.size(), 1024);
    const QString head = QStringLiteral("Exception E in module morvane at 00000000.\r\n");
    EXPECT_EQ(text.left(head.size()), head);
    EXPECT_EQ(text.mid(head.size()), QString(1024 - head.size(), QLatin1Char('m')));
}

TEST(LastResortFormat, ShortTextIsNotCut)
{
    // 1 024 characters exactly: nothing may go missing at the limit.
    const QString head = QStringLiteral("Exception E in module m at 00000000.\r\n");
    const std::string message(static_cast<std::size_t>(1024 - head.size() - 3), 'a');
    const QString text = LastResortText("E", "m", 0, message);
    EXPECT_EQ(text.size(), 1024);
    EXPECT_EQ(text.right(4), QStringLiteral("a.\r\n"));
}

TEST(LastResortFormat, CutNeverSplitsASurrogatePair)
{
    const QString head = QStringLiteral("Exception E in module m at 00000000.\r\n");
    // Put a four-byte character so that its two halves straddle the limit.
    std::string message(static_cast<std::size_t>(1024 - head.size() - 1), 'a');
    message += "\xF0\x9F\x98\x80 tail";
    const QString text = LastResortText("E", "m", 0, message);
    EXPECT_EQ(text.size(), 1023);
    EXPECT_FALSE(text.back().isHighSurrogate());
}

struct TDecodeCase {
    const char* name;
    std::string bytes;
    QString text;
};

class MessageDecoding : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(MessageDecoding, ReadsUtf8WhenValidElseWindows1252)
{
    EXPECT_EQ(MessageToQString(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MessageDecoding,
    ::testing::Values(
        TDecodeCase{"Ascii", "plain", QStringLiteral("plain")},
        TDecodeCase{"Utf8Path", "/home/j\xC3\xBCrgen/run1.pe",
                    QString::fromUtf8("/home/jürgen/run1.pe")},
        TDecodeCase{"Latin1Byte", "'\xE4' is", QString::fromUtf8("'ä' is")},
        TDecodeCase{"EuroSign", "\x80", QString(QChar(0x20AC))},
        TDecodeCase{"OverlongUtf8IsNotUtf8", "\xC0\x80", QString(QChar(0xC0)) + QChar(0x20AC)},
        TDecodeCase{"TruncatedSequenceIsNotUtf8", "a\xC3", QString(QChar('a')) + QChar(0xC3)},
        TDecodeCase{"EmbeddedZeroKept", std::string("a\0b", 3), QString(QChar('a')) + QChar(0) + QChar('b')},
        TDecodeCase{"Empty", "", QString()}),
    [](const ::testing::TestParamInfo<TDecodeCase>& info) { return std::string(info.param.name); });

struct TDescribeCase {
    const char* name;
    std::exception_ptr error;
    std::string className;
    std::string message;
    bool reportable;
};

class ErrorDescription : public ::testing::TestWithParam<TDescribeCase> {};

TEST_P(ErrorDescription, NamesTheClassAndTakesTheMessage)
{
    const TErrorDescription d = DescribeError(GetParam().error);
    EXPECT_EQ(d.ClassName, GetParam().className);
    EXPECT_EQ(d.Message, GetParam().message);
    EXPECT_EQ(d.Reportable, GetParam().reportable);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, ErrorDescription,
    ::testing::Values(
        TDescribeCase{"OwnError", std::make_exception_ptr(morvane::EConvertError("'x' is not a valid time")),
                      "EConvertError", "'x' is not a valid time", true},
        TDescribeCase{"BaseError", std::make_exception_ptr(morvane::Exception("base")), "Exception", "base", true},
        TDescribeCase{"OutOfMemory", std::make_exception_ptr(std::bad_alloc()), "std::bad_alloc",
                      "Out of memory", true},
        TDescribeCase{"LibraryError", std::make_exception_ptr(std::runtime_error("disk on fire")),
                      "std::runtime_error", "disk on fire", true},
        TDescribeCase{"NotAnErrorObject", std::make_exception_ptr(42), "int", "", false}),
    [](const ::testing::TestParamInfo<TDescribeCase>& info) { return std::string(info.param.name); });

} // namespace
