#include "ESettingsFileError.h"
#include "TOsFile.h"
#include "TRememberedSettings.h"
#include "TSettingsFile.h"

#include "TempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace morvane;
using morvane::test::TempFolder;

namespace {

std::string EveryByte()
{
    std::string bytes;
    for (int b = 1; b <= 0xFF; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

std::string ParseError(const std::string& text)
{
    try {
        TSettingsFile::Parse(text, "lab.ini");
    } catch (const ESettingsFileError& e) {
        return e.Message();
    }
    return "(no error)";
}

const std::string kFirst = "morvane-settings 1\n";

} // namespace

TEST(SettingsFile, EveryByteOfEveryValueSurvivesSaveAndLoad)
{
    TSavedSettings saved;
    saved.Conversion.SeparatorSet = EveryByte();
    for (char c : EveryByte())
        saved.Conversion.HeaderReplacements.emplace_back(1, c);
    saved.Conversion.HeaderReplacements.emplace_back();
    saved.Conversion.DataReplacements = {"", " ", "\\", "", "x"};
    saved.Conversion.RelativeTimeSeparator = EveryByte();
    saved.Conversion.RelativeTime = true;
    saved.Conversion.AcrossMidnight = true;
    saved.Header = " " + EveryByte() + " ";
    saved.HeaderSeparators = 257;
    saved.Conversion.SeparatorSet = EveryByte();
    for (int b = 1; b <= 0xFF; ++b) {
        saved.Conversion.ReplacementBeyondList.assign(1, static_cast<char>(b));
        const std::string text = TSettingsFile::Format(saved);
        // A text file: no control byte but the line ends.
        EXPECT_EQ(text.find_first_of(std::string("\x01\x02\x09\x0D\x1B\x7F", 6)), std::string::npos);
        const TSavedSettings loaded = TSettingsFile::Parse(text, "lab.ini");
        EXPECT_EQ(loaded.Conversion.SeparatorSet, saved.Conversion.SeparatorSet);
        EXPECT_EQ(loaded.Conversion.HeaderReplacements, saved.Conversion.HeaderReplacements);
        EXPECT_EQ(loaded.Conversion.DataReplacements, saved.Conversion.DataReplacements);
        EXPECT_EQ(loaded.Conversion.ReplacementBeyondList, saved.Conversion.ReplacementBeyondList) << b;
        EXPECT_EQ(loaded.Conversion.RelativeTimeSeparator, saved.Conversion.RelativeTimeSeparator);
        EXPECT_EQ(loaded.Conversion.RelativeTime, true);
        EXPECT_EQ(loaded.Conversion.AcrossMidnight, true);
        EXPECT_EQ(loaded.Header, saved.Header);
        EXPECT_EQ(loaded.HeaderSeparators, saved.HeaderSeparators);
    }
}

TEST(SettingsFile, WritesWindows1252AsTheCharactersTheyAreAndEscapesTheRest)
{
    const struct {
        std::string Bytes;
        std::string Line;
    } rows[] = {
        {",;", "separators=,;"},
        {"\x80\xE4", "separators=\u20AC\u00E4"},
        {"\x81\x8D\x8F\x90\x9D", "separators=\\x81\\x8D\\x8F\\x90\\x9D"},
        {"\t\x7F", "separators=\\x09\\x7F"},
        {" a b ", "separators=\\x20a b\\x20"},
        {"\\", "separators=\\\\"},
    };
    for (const auto& row : rows) {
        TSavedSettings saved;
        saved.Conversion.SeparatorSet = row.Bytes;
        const std::string text = TSettingsFile::Format(saved);
        EXPECT_NE(text.find("\n" + row.Line + "\n"), std::string::npos) << text;
    }
}

TEST(SettingsFile, ReadingIsStrictAndNamesFileLineAndFault)
{
    const struct {
        std::string Text;
        std::string Message;
    } rows[] = {
        {kFirst + "separators=,\ncolour=red\n", "The settings file \"lab.ini\", line 3: unknown key \"colour\""},
        {kFirst + "to=;\n#\nto=,\n", "The settings file \"lab.ini\", line 4: \"to\" is given a second time (first on line 2)"},
        {kFirst + "relative-time=yes\n", "The settings file \"lab.ini\", line 2: relative-time: the value must be \"on\" or \"off\", not \"yes\""},
        {kFirst + "header-separators=-1\n", "The settings file \"lab.ini\", line 2: header-separators: the value must be a count from 0 to 1000000000, not \"-1\""},
        {kFirst + "to=ab\n", "The settings file \"lab.ini\", line 2: to: \"to\" takes one character at most"},
        {kFirst + "separators\n", "The settings file \"lab.ini\", line 2: \"separators\" is not key=value"},
        {kFirst + "[x]\n", "The settings file \"lab.ini\", line 2: \"[x]\" is not key=value"},
        {kFirst + "separators=\\q\n", "The settings file \"lab.ini\", line 2: separators: \"\\q\" is not an escape of this file (\\xHH, \\\\)"},
        {kFirst + "separators=\\_\n", "The settings file \"lab.ini\", line 2: separators: \"\\_\" is not an escape of this file (\\xHH, \\\\)"},
        {kFirst + "data-map=\\x0\n", "The settings file \"lab.ini\", line 2: data-map: \"\\x\" is not an escape of this file (\\xHH, \\\\, \\_)"},
        {kFirst + "separators=\\x00\n", "The settings file \"lab.ini\", line 2: separators: \\x00 stands for no character a setting can hold"},
        {kFirst + "separators=\xC3(\n", "The settings file \"lab.ini\", line 2: separators: it is not valid UTF-8 text"},
        {kFirst + "separators=\xC0\xAC\n", "The settings file \"lab.ini\", line 2: separators: it is not valid UTF-8 text"},
        {kFirst + "separators=\u0100\n", "The settings file \"lab.ini\", line 2: separators: the character U+0100 has no Windows-1252 byte"},
        {kFirst + "separators=\t\n", "The settings file \"lab.ini\", line 2: separators: a control character stands in the value; write it as \\x09"},
        {kFirst + "header-separators=3\nheader=a,b\n", "The settings file \"lab.ini\", line 2: header-separators is 3, but the header line has 1 separators"},
        {"morvane-settings 2\nfuture=1\n", "The settings file \"lab.ini\" was made by a newer version of Morvane (format 2; this one reads 1)"},
        {"separators=,\n", "The settings file \"lab.ini\" is not a Morvane settings file: its first line should read \"morvane-settings 1\""},
        {"", "The settings file \"lab.ini\" is not a Morvane settings file: its first line should read \"morvane-settings 1\""},
        {kFirst + std::string("to=\0\n", 5), "The settings file \"lab.ini\" is not a text file"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseError(row.Text), row.Message) << row.Text;
}

TEST(SettingsFile, AcceptsWhatEditorsWrite)
{
    // A byte order mark, CR LF, comments and blank lines; keys left out keep
    // their defaults; the header gives its own count.
    const TSavedSettings s = TSettingsFile::Parse(
        "\xEF\xBB\xBFmorvane-settings 1\r\n# lab\r\n\r\nseparators=\u20AC;\r\nheader=a\u20ACb;c\r\n", "lab.ini");
    EXPECT_EQ(s.Conversion.SeparatorSet, "\x80;");
    EXPECT_EQ(s.Conversion.RelativeTimeSeparator, ";");
    EXPECT_EQ(s.HeaderSeparators, std::optional<std::size_t>(2));
}

TEST(SettingsFile, LoadRefusesMissingAndOversizedFiles)
{
    TempFolder folder;
    const std::string missing = folder / "missing.ini";
    const std::string large = folder / "large.ini";
    morvane::test::WriteBytes(large, kFirst + "#" + std::string(TSettingsFile::kMaxFileBytes, 'x') + "\n");
    const struct {
        std::string Path;
        std::string Message;
    } rows[] = {
        {missing, "Cannot read the settings file \"" + missing + "\": " + TOsFile::ErrorText(morvane::test::kNoSuchFile)},
        {large, "The settings file \"" + large + "\" is larger than 1 MiB; it cannot be a settings file"},
    };
    for (const auto& row : rows) {
        std::string message = "(no error)";
        try {
            TSettingsFile::Load(row.Path);
        } catch (const ESettingsFileError& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, row.Message);
    }
}

TEST(RememberedSettings, KeepsTheNewest200HeadersAcrossARestart)
{
    TempFolder folder;
    const std::string path = folder / "remembered-settings";
    {
        TRememberedSettings store(path);
        EXPECT_EQ(store.Load(), "");
        for (int i = 0; i < 205; ++i) {
            TSavedSettings s;
            s.Header = "h" + std::to_string(i % 203) + ",x";
            s.Conversion.HeaderReplacements = {std::string(1, static_cast<char>('a' + i % 26))};
            store.Remember(s, "2026-12-07 14:" + std::to_string(i));
        }
    }
    TRememberedSettings store(path);
    EXPECT_EQ(store.Load(), "");
    EXPECT_EQ(store.Entries().size(), 200u);
    // h0 and h1 came back as the newest; h2..h4 were the oldest and went.
    EXPECT_EQ(store.Find("h2,x", ","), nullptr);
    ASSERT_NE(store.Find("h1,x", ","), nullptr);
    EXPECT_EQ(store.Find("h1,x", ",")->Label, "2026-12-07 14:204");
    EXPECT_EQ(store.Find("h1,x", ",")->Settings.Conversion.HeaderReplacements, std::vector<std::string>{"w"});
    EXPECT_EQ(store.Find("h1,x", ";"), nullptr);
    ASSERT_NE(store.Find("h5,x", ","), nullptr);
}

TEST(RememberedSettings, SetsADamagedStoreAsideAndStartsEmpty)
{
    TempFolder folder;
    const std::string path = folder / "remembered-settings";
    for (const std::string& aside : {path + ".damaged", path + ".damaged-2"}) {
        morvane::test::WriteBytes(path, "morvane-remembered-settings 1\n[x]\nseparators=\\q\n");
        TRememberedSettings store(path);
        EXPECT_EQ(store.Load(), aside);
        EXPECT_EQ(store.Entries().size(), 0u);
        EXPECT_EQ(morvane::test::ReadBytes(aside).substr(0, 7), "morvane");
        EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(path)), false);
    }
}

TEST(RememberedSettings, AStoreWithoutAFileKeepsItsEntriesForTheSessionAndWritesNothing)
{
    TempFolder folder;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(morvane::test::PathOf(folder / ""));
    TRememberedSettings store("", "morvane-look-fields");
    EXPECT_EQ(store.Load(), "");
    TSavedSettings s;
    s.Header = "Time,A";
    store.Remember(s, "1,3");
    std::filesystem::current_path(before);
    ASSERT_NE(store.Find("Time,A", ","), nullptr);
    EXPECT_EQ(store.Find("Time,A", ",")->Label, "1,3");
    EXPECT_EQ(std::filesystem::is_empty(morvane::test::PathOf(folder / "")), true);
}
