#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "SeparatorMap.h"
#include "TLineMapper.h"

namespace morvane {
namespace {

using List = std::vector<std::string>;

struct MapCase {
    const char* name;
    std::string set;
    std::string line;
    List replacements;
    std::string expected;
};

class MapLineRules : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapLineRules, MapsEachOccurrenceByItsOwnEntry)
{
    const MapCase& c = GetParam();
    EXPECT_EQ(MapLine(c.line, c.set, c.replacements), c.expected);
    // The prepared map, mapping in place, agrees.
    std::string inPlace = c.line;
    TLineMapper(c.set, c.replacements).MapInto(inPlace.data(), inPlace.size(), inPlace.data());
    EXPECT_EQ(inPlace, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MapLineRules,
    ::testing::Values(
        MapCase{"EveryEntryUsed", ",", "a,b,c", {";", ";"}, "a;b;c"},
        MapCase{"EmptyEntryKeepsSeparator", ",", "a,b,c", {";", ""}, "a;b,c"},
        MapCase{"KindsShareOneCount", ",;", "a,b;c", {"/", "#"}, "a/b#c"},
        MapCase{"ReplacedSeparatorDoesNotDisturbCount", ",;", "a,b,c", {";", ","}, "a;b,c"},
        MapCase{"EmptySetChangesNothing", "", "a,b,c", {}, "a,b,c"},
        MapCase{"EmptySetIgnoresEntries", "", "a,b,c", {";", ";"}, "a,b,c"},
        MapCase{"SurplusEntriesWithoutEffect", ",", "a,b", {";", ":", "!"}, "a;b"},
        MapCase{"EmptyLineStaysEmpty", ",", "", {";"}, ""},
        MapCase{"TemplateOwnSeparatorsMapToItself", ",", "x,y", {","}, "x,y"},
        MapCase{"OnlyFirstCharacterOfEntry", ",", "a,b", {";:"}, "a;b"},
        MapCase{"OccurrencesBeyondListStay", ",", "a,b,c,d", {";"}, "a;b,c,d"},
        MapCase{"CaseIsExact", "A", "aAa", {"-"}, "a-a"},
        MapCase{"SpaceIsASeparator", " ", "a b  c", {"_", "_", "_"}, "a_b__c"},
        MapCase{"RepeatedSetCharactersCountOnce", ",,,", "a,b", {";"}, "a;b"},
        MapCase{"HighBytes", "\xb0", "1\xb0" "2", {"\xe9"}, "1\xe9" "2"},
        MapCase{"NulCanBeASeparator", std::string(1, '\0'), std::string("a\0b", 3), {";"}, "a;b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsSeparator, IsExactByteMembership)
{
    struct Case {
        char byte;
        std::string set;
        bool expected;
    };
    const std::vector<Case> cases = {
        {',', ",", true},  {';', ",", false}, {'a', "A", false}, {'A', "A", true},
        {' ', " ,", true}, {',', "", false},  {'\xe4', "\xc4", false}, {'\xe4', "x\xe4", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSeparator(c.byte, c.set), c.expected) << int(c.byte) << " in \"" << c.set << '"';
}

TEST(FindSeparators, ListsPositionsFromOneAndCharacters)
{
    const auto found = FindSeparators("Time,A;B,,C", ",;");
    ASSERT_EQ(found.size(), 4u);
    const std::vector<std::size_t> positions = {found[0].Position, found[1].Position, found[2].Position,
                                                found[3].Position};
    EXPECT_EQ(positions, (std::vector<std::size_t>{5, 7, 9, 10}));
    EXPECT_EQ(std::string({found[0].Character, found[1].Character, found[2].Character, found[3].Character}),
              ",;,,");
    EXPECT_TRUE(FindSeparators("abc", ",").empty());
    EXPECT_TRUE(FindSeparators("a,b", "").empty());
}

TEST(FindSeparators, InitialEntriesMapEveryLineToItself)
{
    const std::string line = "12:00:00,1.5;x,,y";
    List entries;
    for (const auto& o : FindSeparators(line, ",;:"))
        entries.emplace_back(1, o.Character);
    EXPECT_EQ(entries.size(), 6u);
    EXPECT_EQ(MapLine(line, ",;:", entries), line);
}

struct FieldsCase {
    const char* name;
    std::string set;
    std::string line;
    std::size_t limit;
    std::size_t count;
    // Each occurrence as separator, field before, field after.
    std::vector<std::array<std::string, 3>> expected;
};

TEST(OccurrenceFields, NamesTheFieldsEitherSideOfEachOccurrence)
{
    const std::vector<FieldsCase> cases = {
        {"TwoKinds", ",;", "Time,A;B", 9, 2, {{",", "Time", "A"}, {";", "A", "B"}}},
        {"EmptyFieldsAtTheEnds", ",", ",a,", 9, 2, {{",", "", "a"}, {",", "a", ""}}},
        {"AdjacentSeparators", ",", "a,,b", 9, 2, {{",", "a", ""}, {",", "", "b"}}},
        {"LimitStillEndsTheLastField", ",", "a,b,c,d", 2, 3, {{",", "a", "b"}, {",", "b", "c"}}},
        {"ZeroLimit", ",", "a,b", 0, 1, {}},
        {"NoSeparator", ",", "abc", 9, 0, {}},
        {"EmptySet", "", "a,b", 9, 0, {}},
        {"EmptyLine", ",", "", 9, 0, {}},
        {"HighBytes", "\xb0", "1\xb0\xe9", 9, 1, {{"\xb0", "1", "\xe9"}}},
        {"LongLineCountedWhole", ",", "a,b,c,d,e,f,g,h,i,j,k,l", 1, 11, {{",", "a", "b"}}},
    };
    for (const FieldsCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::array<std::string, 3>> found;
        for (const TOccurrenceFields& o : OccurrenceFields(c.line, c.set, c.limit))
            found.push_back({std::string(1, o.Separator), std::string(o.Before), std::string(o.After)});
        EXPECT_EQ(found, c.expected);
        EXPECT_EQ(CountSeparators(c.line, c.set), c.count);
    }
}

TEST(OccurrenceFields, CountAgreesWithTheBytesAtEveryLength)
{
    // Every length up to three of the widest vectors, so that the last,
    // partly counted vector starts at every offset.
    std::mt19937 random(7);
    std::string line;
    for (int i = 0; i < 100; ++i)
        line += ",;a\t"[random() % 4];
    for (const std::string set : {",", ",;\t"}) {
        const TLineMapper mapper(set, {});
        for (std::size_t n = 0; n <= line.size(); ++n) {
            const std::string_view text(line.data(), n);
            std::size_t expected = 0;
            for (char c : text)
                expected += set.find(c) != std::string::npos;
            EXPECT_EQ(mapper.CountSeparators(text.data(), n), expected) << "set " << set << ", length " << n;
        }
        // The same lines one after another, LF or CR LF, counted in one pass
        // across the blocks the pass takes; the last block ends short.
        std::string lines;
        std::vector<std::uint32_t> lf;
        std::vector<std::uint32_t> expected;
        for (std::size_t n = 0; n <= line.size(); n += 7) {
            lines.append(line, 0, n);
            expected.push_back(static_cast<std::uint32_t>(mapper.CountSeparators(line.data(), n)));
            lines += n % 2 ? "\r\n" : "\n";
            lf.push_back(static_cast<std::uint32_t>(lines.size() - 1));
        }
        std::vector<std::uint32_t> counts(lf.size());
        mapper.CountSeparatorsOfLines(reinterpret_cast<const unsigned char*>(lines.data()), lf.data(), lf.size(),
                                      counts.data());
        EXPECT_EQ(counts, expected) << "set " << set;
    }
}

struct BeyondCase {
    const char* name;
    std::string set;
    List replacements;
    std::string beyond;
    std::string line;
    std::string expected;
};

TEST(LineMapper, ReplacementBeyondListCoversOnlyOccurrencesPastTheList)
{
    const std::vector<BeyondCase> cases = {
        {"NoListEverything", ",", {}, ";", "a,b,c", "a;b;c"},
        {"ListFirst", ",", {"/"}, ";", "a,b,c", "a/b;c"},
        {"EmptyEntryStillKeeps", ",", {"", "/"}, ";", "a,b,c,d", "a,b/c;d"},
        {"SeveralKinds", ",\t", {}, ";", "a\tb,c", "a;b;c"},
        {"NothingBeyondWhenEmpty", ",", {"/"}, "", "a,b,c", "a/b,c"},
        {"NonSeparatorsUntouched", ",", {}, ";", "x;y,z", "x;y;z"},
    };
    for (const BeyondCase& c : cases) {
        const TLineMapper mapper(c.set, c.replacements, c.beyond);
        EXPECT_EQ(mapper.Map(c.line), c.expected) << c.name;
    }
}

// The per-occurrence rule applied naively, byte by byte.
std::string NaiveMap(const std::string& line, const std::string& set, const List& list,
                     const std::string& beyond = {})
{
    std::string out = line;
    std::size_t i = 0;
    for (std::size_t p = 0; p < line.size(); ++p) {
        if (set.find(line[p]) == std::string::npos)
            continue;
        if (i < list.size()) {
            if (!list[i].empty())
                out[p] = list[i][0];
        } else if (!beyond.empty()) {
            out[p] = beyond[0];
        }
        ++i;
    }
    return out;
}

TEST(LineMapper, AgreesWithNaiveMapOnRandomLines)
{
    std::mt19937 rng(7);
    const std::string alphabet = "ab,;: \t\x1a\xff";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> small(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::string set, line, beyond;
        // Mostly small sets; now and then more distinct bytes than are
        // compared sixteen at a time.
        for (int n = round % 10 == 0 ? 12 : small(rng) % 4; n > 0; --n)
            set += round % 10 == 0 ? static_cast<char>('a' + small(rng)) : alphabet[pick(rng)];
        for (int n = small(rng) * small(rng); n > 0; --n)
            line += round % 10 == 0 ? static_cast<char>('a' + small(rng)) : alphabet[pick(rng)];
        List list;
        for (int n = small(rng); n > 0; --n)
            list.push_back(small(rng) < 3 ? "" : std::string(1, alphabet[pick(rng)]));
        if (round % 2 == 1)
            beyond = std::string(1, alphabet[pick(rng)]);
        std::string inPlace = line;
        const TLineMapper mapper(set, list, beyond);
        mapper.MapInto(inPlace.data(), inPlace.size(), inPlace.data());
        const std::string expected = NaiveMap(line, set, list, beyond);
        ASSERT_EQ(mapper.Map(line), expected) << "set \"" << set << "\" line \"" << line << '"';
        ASSERT_EQ(inPlace, expected) << "set \"" << set << "\" line \"" << line << '"';
        if (beyond.empty()) {
            ASSERT_EQ(MapLine(line, set, list), expected);
        }
    }
}

} // namespace
} // namespace morvane
