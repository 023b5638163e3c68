#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "EInOutError.h"
#include "LineReaderModel.h"
#include "TLineReader.h"
#include "TempFiles.h"
#include "TemplateLine.h"

namespace morvane {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

std::string ReadLine(TLineReader& reader)
{
    std::string line;
    morvane::ReadLine(reader, line);
    return line;
}

const std::string CR = "\r";
const std::string LF = "\n";
const std::string CRLF = "\r\n";
const std::string SUB(1, '\x1a');

// Read sizes the operating system may be asked for; none may show.
const std::vector<std::size_t> kReadSizes = {TLineReader::kDefaultReadSize, 1, 3, 128, 129};

struct Reading {
    std::vector<std::string> lines;
    std::vector<std::int64_t> positions; // after each line
};

// Reads as the conversion run does: the first line unasked, then while not
// at the end.
Reading ReadAll(const std::string& path, std::size_t readSize)
{
    TLineReader reader(TLineReader::TReadFailure::EndOfInput, readSize);
    EXPECT_TRUE(reader.Open(path));
    Reading r;
    r.lines.push_back(ReadLine(reader));
    r.positions.push_back(reader.PositionInBlocks());
    while (!reader.AtEnd()) {
        r.lines.push_back(ReadLine(reader));
        r.positions.push_back(reader.PositionInBlocks());
        if (r.lines.size() > 100000)
            break;
    }
    return r;
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines; // read while AtEnd answers no
    // Lines whose Ctrl-Z dropped more than the line break.
    std::int64_t cutLines = 0;
    // Where set, the reader opens at the first line behind this offset, and
    // that line starts at `offset`.
    std::int64_t from = -1;
    std::int64_t offset = 0;
};

class LineRules : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineRules, GivesExactlyTheseLinesWhateverTheReadSize)
{
    const LineCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, c.bytes);
    for (std::size_t readSize : kReadSizes) {
        SCOPED_TRACE("read size " + std::to_string(readSize));
        TLineReader reader(TLineReader::TReadFailure::EndOfInput, readSize);
        if (c.from < 0) {
            ASSERT_TRUE(reader.Open(path));
        } else {
            ASSERT_TRUE(reader.Open(path, {.From = c.from, .AtNextLine = true}));
            EXPECT_EQ(reader.Offset(), c.offset);
        }
        std::vector<std::string> lines;
        while (!reader.AtEnd() && lines.size() <= c.lines.size())
            lines.push_back(ReadLine(reader));
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(reader.CutLines(), c.cutLines);
        EXPECT_TRUE(reader.AtEnd());
        // A ReadLine at the end all the same gives nothing.
        EXPECT_EQ(ReadLine(reader), "");
    }
}

std::string Filler(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

// A second line that holds a Ctrl-Z at file offset `at`.
std::string CtrlZInSecondLine(std::size_t at)
{
    std::string first = Filler(100);
    std::string bytes = first + CRLF;
    std::string second = Filler(at - bytes.size()) + SUB + "tail";
    return bytes + second + CRLF + "third" + Filler(300) + CRLF;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LineRules,
    ::testing::Values(
        LineCase{"CrLfEndsLines", "A" + CRLF + "B" + CRLF, {"A", "B"}},
        LineCase{"LfEndsLinesAndLastNeedsNoBreak", "A" + LF + "B", {"A", "B"}},
        LineCase{"LoneCrIsDropped", "A" + CR + "B" + CRLF, {"AB"}},
        LineCase{"EmptyLineBeforeFinalBreak", "A" + CRLF + CRLF, {"A", ""}},
        LineCase{"CtrlZCutsLineAndSkipsItsRest", "AB" + SUB + "CD" + CRLF + "EF", {"AB", "EF"}, 1},
        // Only the break behind it, or a lone CR, is nothing lost.
        LineCase{"CtrlZBeforeTheBreakCutsNothingOff",
                 "AB" + SUB + CRLF + "C" + SUB + LF + "D" + SUB + CR + CRLF + "E" + SUB + "F" + LF,
                 {"AB", "C", "D", "E"}, 1},
        LineCase{"CtrlZWhereALineBeginsEndsInput", "AB" + CRLF + SUB + "CD", {"AB"}},
        LineCase{"CtrlZAtChunkStartEndsInput", CtrlZInSecondLine(128),
                 {Filler(100), Filler(128 - 102)}},
        LineCase{"CtrlZOffChunkStartCutsOnlyItsLine", CtrlZInSecondLine(129),
                 {Filler(100), Filler(129 - 102), "third" + Filler(300)}, 1},
        LineCase{"SkipStopsInFrontOfSecondCtrlZ", "A" + SUB + "x" + SUB + "y" + CRLF + "B", {"A"}, 1},
        LineCase{"CrBeforeCtrlZIsDropped", "A" + CR + SUB + "q" + LF + "B", {"A", "B"}, 1},
        LineCase{"EmptyFile", "", {}},
        LineCase{"CtrlZFirstByte", SUB + "A" + CRLF, {}},
        LineCase{"NulBytesBelongToTheLine", std::string("a\0b", 3) + LF, {std::string("a\0b", 3)}},
        LineCase{"CrCrLfIsOneBreak", "A" + CR + CRLF + "B", {"A", "B"}},
        LineCase{"LfCrGivesEmptyLineEndingInCr", "A" + LF + CR + "B", {"A", "B"}},
        LineCase{"LongLineComesBackWhole", Filler(1000), {Filler(1000)}},
        LineCase{"VeryLongLineAcrossReadBlocks", Filler(300000) + CRLF + "x", {Filler(300000), "x"}},
        // Opened behind an offset, as a part read on another thread: the
        // line that starts at the offset is the other reader's, and a Ctrl-Z
        // on the way is skipped as a byte.
        LineCase{"FromInsideALine", "aaaa" + CRLF + "bbbb" + CRLF + "cccc" + CRLF, {"cccc"}, 0, 8, 12},
        LineCase{"FromAtALineStart", "aaaa" + CRLF + "bbbb" + CRLF + "cccc" + CRLF, {"cccc"}, 0, 6, 12},
        LineCase{"FromAtTheFirstByte", "aaaa" + CRLF + "bbbb" + CRLF, {"bbbb"}, 0, 0, 6},
        LineCase{"FromOnTheLf", "aaaa" + CRLF + "bbbb" + CRLF, {"bbbb"}, 0, 5, 6},
        LineCase{"FromBeforeACtrlZ", "ab" + SUB + "cd" + LF + "next" + LF, {"next"}, 0, 1, 6},
        LineCase{"FromWithNoLineBehind", "aaaa" + CRLF + "tail", {}, 0, 7, 10},
        LineCase{"FromInTheLastLine", "aaaa" + CRLF + "bbbb" + CRLF, {}, 0, 8, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, CtrlZAtChunkStartReadsNothingBehindIt)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, CtrlZInSecondLine(128));
    TLineReader reader;
    ASSERT_TRUE(reader.Open(path));
    ReadLine(reader);
    ReadLine(reader);
    EXPECT_TRUE(reader.AtEnd());
    // The chunk that starts with the Ctrl-Z had to be fetched to see it, but
    // nothing beyond.
    EXPECT_EQ(reader.PositionInBlocks(), 2);
    EXPECT_EQ(SizeInBlocks(reader), 3);
    EXPECT_EQ(ReadLine(reader), "");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(LineReader, ThreeHundredByteFileEndsAtItsSize)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, Filler(98) + CRLF + Filler(98) + CRLF + Filler(98) + CRLF);
    for (std::size_t readSize : kReadSizes) {
        const Reading r = ReadAll(path, readSize);
        EXPECT_EQ(r.lines.size(), 3u);
        // 100 bytes consumed: chunk 1 fetched; 200: chunk 2; 300: the short
        // last chunk, which does not count as a whole block.
        EXPECT_EQ(r.positions, (std::vector<std::int64_t>{1, 2, 2}));
    }
    TLineReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(SizeInBlocks(reader), 2);
}

TEST(LineReader, EndedAtAnEndReadsOnToALaterOne)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, "one" + CRLF + "two" + CRLF + "three" + CRLF + "four" + CRLF);
    // Each end once reached before it is moved on, and once not yet.
    for (std::size_t readSize : kReadSizes) {
        for (const bool reached : {true, false}) {
            TLineReader reader(TLineReader::TReadFailure::Raise, readSize);
            ASSERT_TRUE(reader.Open(path));
            ASSERT_TRUE(reader.EndAt(5));
            EXPECT_EQ(ReadLine(reader), "one") << readSize;
            if (reached) {
                EXPECT_TRUE(reader.AtEnd()) << readSize;
            }
            ASSERT_TRUE(reader.EndAt(17));
            EXPECT_EQ(ReadLine(reader), "two") << readSize;
            EXPECT_EQ(ReadLine(reader), "three") << readSize;
            EXPECT_TRUE(reader.AtEnd()) << readSize;
            ASSERT_TRUE(reader.EndAt(-1));
            EXPECT_EQ(ReadLine(reader), "four") << readSize;
            EXPECT_TRUE(reader.AtEnd()) << readSize;
        }
    }
}

TEST(LineReader, AtEndFetchesTheNextChunkOnlyWhenAsked)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    // The first line ends exactly at byte 128.
    WriteBytes(path, Filler(126) + CRLF + "next" + CRLF);
    TLineReader reader(TLineReader::TReadFailure::EndOfInput, 4096);
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.PositionInBlocks(), 0);
    ReadLine(reader);
    EXPECT_EQ(reader.PositionInBlocks(), 1);
    EXPECT_FALSE(reader.AtEnd());
    // One byte of the second chunk is needed; the file has only 6 there, so
    // it still counts one whole block.
    EXPECT_EQ(reader.PositionInBlocks(), 1);
    EXPECT_EQ(ReadLine(reader), "next");
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.PositionInBlocks(), SizeInBlocks(reader));
}

TEST(LineReader, ClosedReaderReadsAsEmptyFileWithMinusOnePositions)
{
    TempFolder folder;
    WriteBytes(folder / "in.pe", Filler(300) + CRLF);
    TLineReader never;
    TLineReader reopened;
    ASSERT_TRUE(reopened.Open(folder / "in.pe"));
    // A failed open closes the file read before, and forgets its size.
    EXPECT_FALSE(reopened.Open(folder / "missing.pe"));
    for (TLineReader* reader : {&never, &reopened}) {
        EXPECT_TRUE(reader->AtEnd());
        EXPECT_EQ(ReadLine(*reader), "");
        EXPECT_EQ(reader->PositionInBlocks(), -1);
        EXPECT_EQ(reader->Size(), 0);
        EXPECT_EQ(reader->Buffered().size(), 0u);
    }
}

TEST(LineReader, OpenFailuresLeaveReaderClosedAndTellWhy)
{
    TempFolder folder;
    struct Case {
        std::string path;
        int error;
    };
    const std::vector<Case> cases = {{folder / "missing.pe", test::kNoSuchFile},
                                     {folder / "", TOsFile::DirectoryError()},
                                     {folder / "missing/in.pe", test::kNoSuchFolder}};
    for (const Case& c : cases) {
        TLineReader reader;
        EXPECT_EQ(reader.Open(c.path).Error, c.error) << c.path;
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_EQ(reader.PositionInBlocks(), -1);
    }
}

TEST(LineReader, SizeOfAFileOverFourGiBIsWhole)
{
    TempFolder folder;
    const std::string path = folder / "huge.pe";
    WriteBytes(path, "Time,Value\r\n");
    // Sparse where the file system allows: no disk is spent on the gap.
    const std::uintmax_t size = (std::uintmax_t{4} << 30) + 300;
    std::filesystem::resize_file(test::PathOf(path), size);
    TLineReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(SizeInBlocks(reader), static_cast<std::int64_t>(size / 128));
    EXPECT_EQ(ReadLine(reader), "Time,Value");
}

#ifdef _WIN32
TEST(LineReader, FileAnotherProgramWritesCannotBeOpenedAndAnOpenFileOnlyRead)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, "a\r\n");
    const std::wstring wide = test::PathOf(path).wstring();
    {
        const HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        TLineReader reader;
        EXPECT_EQ(reader.Open(path).Error, ERROR_SHARING_VIOLATION);
        CloseHandle(writer);
    }
    TLineReader reader;
    ASSERT_TRUE(reader.Open(path));
    const HANDLE secondReader = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(secondReader, INVALID_HANDLE_VALUE);
    if (secondReader != INVALID_HANDLE_VALUE)
        CloseHandle(secondReader);
    const HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_EQ(ReadLine(reader), "a");
}
#endif

TEST(LineReader, ReopeningStartsAfresh)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", "one" + CRLF + "two" + CRLF);
    WriteBytes(folder / "b.pe", "three" + CRLF);
    TLineReader reader;
    ASSERT_TRUE(reader.Open(folder / "a.pe"));
    EXPECT_EQ(ReadLine(reader), "one");
    ASSERT_TRUE(reader.Open(folder / "b.pe"));
    EXPECT_EQ(ReadLine(reader), "three");
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.PositionInBlocks(), 0);
}

TEST(LineReader, MaxLengthKeepsThePrefixButConsumesTheWholeLine)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, Filler(5000) + CR + "x" + CRLF + "second" + CRLF);
    struct Case {
        std::size_t maxLength;
        std::string first;
    };
    // Within the first piece, across pieces, and at the line's end.
    const std::vector<Case> cases = {{0, ""},
                                     {10, Filler(10)},
                                     {5000, Filler(5000)},
                                     {5001, Filler(5000) + "x"},
                                     {std::string::npos, Filler(5000) + "x"}};
    for (std::size_t readSize : kReadSizes) {
        for (const Case& c : cases) {
            SCOPED_TRACE("read size " + std::to_string(readSize) + ", max " + std::to_string(c.maxLength));
            TLineReader reader(TLineReader::TReadFailure::EndOfInput, readSize);
            ASSERT_TRUE(reader.Open(path));
            std::string line = "left from before";
            ReadLine(reader, line, c.maxLength);
            EXPECT_EQ(line, c.first);
            ReadLine(reader, line, 3);
            EXPECT_EQ(line, "sec");
            EXPECT_TRUE(reader.AtEnd());
        }
    }
}

TEST(LineReader, ReadFailureEndsQuietlyOrRaisesAsAsked)
{
    // Reading this file at offset 0 fails with an I/O error.
    const std::string path = "/proc/self/mem";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no " << path;
    TLineReader quiet;
    ASSERT_TRUE(quiet.Open(path));
    EXPECT_EQ(ReadLine(quiet), "");
    EXPECT_TRUE(quiet.AtEnd());

    TLineReader strict(TLineReader::TReadFailure::Raise);
    ASSERT_TRUE(strict.Open(path));
    try {
        ReadLine(strict);
        ADD_FAILURE() << "a failed read went unnoticed";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot read the PE file \"/proc/self/mem\": " + TOsFile::ErrorText(test::kFailedRead));
    }

    // The open never raises: a read that fails on the way to the next line
    // leaves the reader at its end.
    TLineReader part(TLineReader::TReadFailure::Raise);
    ASSERT_TRUE(part.Open(path, {.From = 1, .AtNextLine = true}));
    EXPECT_TRUE(part.AtEnd());
    EXPECT_EQ(ReadLine(part), "");
}

// Bytes rich in the characters the rules care about, placed densely around
// the chunk boundaries.
std::string RandomFile(std::mt19937& rng)
{
    static const char alphabet[] = {'a', 'b', '\r', '\n', '\x1a', '\0', ','};
    std::uniform_int_distribution<int> lengthPick(0, 5);
    std::uniform_int_distribution<int> charPick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    static const std::size_t lengths[] = {0, 1, 127, 128, 129, 255, 256, 257, 400};
    std::size_t n = lengths[lengthPick(rng) + (percent(rng) < 50 ? 0 : 3)];
    n += static_cast<std::size_t>(percent(rng) % 5);
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        const bool nearBoundary = i % 128 < 2 || i % 128 > 125;
        // Far from the boundaries mostly plain text, so lines run long.
        bytes += (nearBoundary || percent(rng) < 20) ? alphabet[charPick(rng)] : 'x';
    }
    return bytes;
}

// The line at hand read a piece at a time; every piece but the last fills
// a piece's size: a read's, but never under a clock text's 16 bytes.
std::string ReadInPieces(TLineReader& reader, std::size_t readSize)
{
    std::string line;
    std::string scratch;
    bool ended = false;
    while (!ended) {
        const std::string_view piece = reader.ReadLinePiece(scratch, ended);
        if (!ended) {
            EXPECT_EQ(piece.size(), std::max<std::size_t>(readSize, 16));
        }
        line += piece;
    }
    return line;
}

TEST(LineReader, AgreesWithNaiveModelOnRandomFiles)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    std::mt19937 rng(20261207);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = RandomFile(rng);
        WriteBytes(path, bytes);
        for (std::size_t readSize : kReadSizes) {
            SCOPED_TRACE("read size " + std::to_string(readSize));
            test::TLineReaderModel model(bytes);
            TLineReader reader(TLineReader::TReadFailure::EndOfInput, readSize);
            ASSERT_TRUE(reader.Open(path));
            ASSERT_EQ(SizeInBlocks(reader), model.SizeInBlocks());
            // The first line unasked, as the run reads its header.
            ASSERT_EQ(ReadLine(reader), model.ReadLine()) << "round " << round;
            ASSERT_EQ(reader.PositionInBlocks(), model.PositionInBlocks()) << "round " << round;
            for (int line = 0; line < 1000; ++line) {
                const bool end = model.AtEnd();
                ASSERT_EQ(reader.AtEnd(), end) << "round " << round << " line " << line;
                ASSERT_EQ(reader.PositionInBlocks(), model.PositionInBlocks()) << "round " << round;
                if (end && round % 2 == 0)
                    break;
                // Odd rounds read on past the end, which must stay harmless;
                // every third line comes in pieces.
                const std::string read = line % 3 == 2 ? ReadInPieces(reader, readSize) : ReadLine(reader);
                ASSERT_EQ(read, model.ReadLine()) << "round " << round << " line " << line;
                ASSERT_EQ(reader.PositionInBlocks(), model.PositionInBlocks()) << "round " << round;
                ASSERT_EQ(reader.CutLines(), model.CutLines()) << "round " << round << " line " << line;
                if (end)
                    break;
            }
        }
    }
}

TEST(LineReader, PiecesAndCopyGiveTheSameLines)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += Filler(static_cast<std::size_t>(i * 7 % 300)) + (i % 3 ? CRLF : LF) + (i % 5 ? "" : CR);
    WriteBytes(path, bytes);
    for (std::size_t readSize : {std::size_t{1}, std::size_t{129}, std::size_t{512}}) {
        TLineReader a(TLineReader::TReadFailure::EndOfInput, readSize);
        TLineReader b(TLineReader::TReadFailure::EndOfInput, readSize);
        ASSERT_TRUE(a.Open(path));
        ASSERT_TRUE(b.Open(path));
        while (!a.AtEnd()) {
            ASSERT_FALSE(b.AtEnd());
            const std::string copy = ReadLine(a);
            EXPECT_EQ(ReadInPieces(b, readSize), copy);
        }
        EXPECT_TRUE(b.AtEnd());
    }
}

struct TemplateCase {
    const char* name;
    std::string bytes;
    std::string header;
    std::string data;
};

class TemplateLines : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateLines, GiveLineOneAndLineTwo)
{
    const TemplateCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, c.bytes);
    EXPECT_EQ(ReadTemplateLine(path, true), c.header);
    EXPECT_EQ(ReadTemplateLine(path, false), c.data);
    EXPECT_EQ(ReadBytes(path), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TemplateLines,
    ::testing::Values(TemplateCase{"HeaderAndData", "Time,A" + CRLF + "12:00:00,1" + CRLF + "x" + CRLF,
                                   "Time,A", "12:00:00,1"},
                      TemplateCase{"HeaderOnly", "Time,A" + CRLF, "Time,A", ""},
                      TemplateCase{"HeaderWithoutBreak", "Time,A", "Time,A", ""},
                      TemplateCase{"Empty", "", "", ""},
                      TemplateCase{"StartsWithCtrlZ", SUB + "Time" + CRLF + "1" + CRLF, "", ""},
                      TemplateCase{"CtrlZEndsAfterHeader", "Time" + CRLF + SUB + "1" + CRLF, "Time", ""},
                      TemplateCase{"EmptyHeader", CRLF + "data" + CRLF, "", "data"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TemplateLine, MissingFileOrDirectoryGivesEmptyText)
{
    TempFolder folder;
    for (const std::string& path : {folder / "missing.pe", folder / ""}) {
        EXPECT_EQ(ReadTemplateLine(path, true), "") << path;
        EXPECT_EQ(ReadTemplateLine(path, false), "") << path;
    }
}

TEST(TemplateLine, CapKeepsMemoryBoundedOnHugeLines)
{
    TempFolder folder;
    const std::string path = folder / "in.pe";
    WriteBytes(path, Filler(200000) + CRLF + Filler(200000));
    EXPECT_EQ(ReadTemplateLine(path, true, 1000), Filler(1000));
    EXPECT_EQ(ReadTemplateLine(path, false, 5), Filler(5));
    EXPECT_EQ(ReadTemplateLine(path, false).size(), 200000u);
}

} // namespace
} // namespace morvane
