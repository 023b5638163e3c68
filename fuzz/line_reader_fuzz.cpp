// Feeds arbitrary bytes to the line reader as a file and checks it against
// the naive model: same lines, same end, same positions after every step.
// The first byte picks the size of the operating-system reads.

#include <algorithm>
#include <cstdint>
#include <string>

#include "ScratchFile.h"
#include "TLineReader.h"
#include "engine/LineReaderModel.h"

using morvane::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const std::size_t readSizes[] = {1, 2, 3, 7, 127, 128, 129, 4096};
    const std::size_t readSize = readSizes[data[0] % 8];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    static const std::string path = morvane::fuzz::MakeScratchFile("line-reader-fuzz");
    morvane::fuzz::WriteScratchFile(path, bytes);

    morvane::test::TLineReaderModel model(bytes);
    morvane::TLineReader reader(morvane::TLineReader::TReadFailure::Raise, readSize);
    Check(reader.Open(path).Error == 0);
    Check(morvane::SizeInBlocks(reader) == model.SizeInBlocks());
    std::string line;
    morvane::ReadLine(reader, line);
    Check(line == model.ReadLine());
    Check(reader.PositionInBlocks() == model.PositionInBlocks());
    std::string scratch;
    for (std::size_t step = 0; step <= bytes.size() + 1; ++step) {
        const bool end = model.AtEnd();
        Check(reader.AtEnd() == end);
        Check(reader.PositionInBlocks() == model.PositionInBlocks());
        if (end)
            break;
        // Every way of taking a line must agree with the model.
        const std::string expected = model.ReadLine();
        if (step % 2 == 0) {
            // Into the capacity of the line before.
            morvane::ReadLine(reader, line);
            Check(line == expected);
        } else {
            // A piece is as long as a read, but never under 16 bytes.
            std::string whole;
            bool ended = false;
            while (!ended) {
                const std::string_view piece = reader.ReadLinePiece(scratch, ended);
                Check(ended || piece.size() == std::max<std::size_t>(readSize, 16));
                whole += piece;
            }
            Check(whole == expected);
        }
        Check(reader.PositionInBlocks() == model.PositionInBlocks());
        Check(reader.CutLines() == model.CutLines());
    }
    return 0;
}
