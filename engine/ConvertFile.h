#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ILineSink.h"
#include "IProgressSink.h"
#include "TConversionSettings.h"
#include "TLineReader.h"
#include "TLineWriter.h"

namespace morvane {

struct TConvertFileOptions {
    // When not null, receives the number (from 1, the header being line 1) of
    // the line whose relative time could not be computed, or 0 when the run
    // ended for any other reason. The error message itself stays plain.
    std::int64_t* FailedLine = nullptr;
    // When not null, tells whether the run got as far as creating or
    // emptying the output, failed later or not.
    bool* OutputOpened = nullptr;
    // Sizes of the operating-system reads and of the write buffer; tests make
    // them tiny to show the output does not depend on them.
    std::size_t ReadSize = TLineReader::kDefaultReadSize;
    std::size_t WriteBufferSize = TLineWriter::kDefaultBufferSize;
};

// Converts the whole PE file at inputPath into outputPath: every line mapped
// by the settings' separator map, optionally led by the relative time column,
// each written with CR LF; progress goes to the sink in 128-byte blocks.
//
// Raises EInOutError, before the sink is touched and before anything is
// created or emptied, when the input cannot be opened or the output path
// leads to the input itself; likewise at once when the output cannot be
// created. Errors met later (a failed read or write, a line without a time
// of day, exhausted memory as EOutOfMemory) first close both files and show
// "finished" at 100 percent; the output keeps what was written before.
void ConvertFile(const std::string& inputPath, const std::string& outputPath,
                 const TConversionSettings& settings, IProgressSink& sink,
                 const TConvertFileOptions& options = {});

// The same run into a sink rather than a file: the sink gets every byte the
// file would get, and is finished when the run succeeded and left
// unfinished when it failed. An error the sink raises ends the run like a
// failed write.
void ConvertFile(const std::string& inputPath, ILineSink& output, const TConversionSettings& settings,
                 IProgressSink& sink, const TConvertFileOptions& options = {});

} // namespace morvane
