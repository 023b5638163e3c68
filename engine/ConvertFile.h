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

// The lines whose Ctrl-Z cut off more than their line break.
struct TCutLines {
    std::int64_t Count = 0;
    // Numbered as lines are, the header being line 1; 0 when none was cut.
    std::int64_t FirstLine = 0;
};

// What the user is told of lines cut at a Ctrl-Z, once per file.
std::string CutLinesMessage(const TCutLines& cut);

struct TConvertFileOptions {
    // When not null, receives the number (from 1, the header being line 1) of
    // the line whose relative time could not be computed, or 0 when the run
    // ended for any other reason. The error message itself stays plain.
    std::int64_t* FailedLine = nullptr;
    // When not null, tells whether the run changed the output: an output
    // written in place (a FIFO, a terminal) once it is opened, any other
    // only once the run succeeded and its new file took the output's place.
    bool* OutputOpened = nullptr;
    // When not null, receives where a Ctrl-Z ended the input and what was
    // left behind it (Offset -1 when none did).
    TEndMark* EndMark = nullptr;
    // When not null, receives the lines cut at a Ctrl-Z of a run that
    // succeeded.
    TCutLines* CutLines = nullptr;
    // A FIFO is opened waiting for its writer, as `cat` does; the window,
    // which must not hang in an open, leaves it off.
    bool WaitForWriter = false;
    // Sizes of the operating-system reads and of the write buffer; tests make
    // them tiny to show the output does not depend on them.
    std::size_t ReadSize = TLineReader::kDefaultReadSize;
    std::size_t WriteBufferSize = TLineWriter::kDefaultBufferSize;
};

// Converts the whole PE file at inputPath into outputPath: every line mapped
// by the settings' separator map, optionally led by the relative time column,
// each written with CR LF; progress goes to the sink in 128-byte blocks.
//
// The output is written as a new file beside it and takes its place only
// when the run succeeds (TOutputReplacement), so a run that fails leaves the
// earlier output as it was.
//
// Raises EInOutError, before the sink is touched and before anything is
// created, when the input cannot be opened or the output path leads to the
// input itself; likewise at once when the output cannot be created. Errors
// met later (a failed read or write, an input that became shorter, a line
// without a time of day, exhausted memory as EOutOfMemory, or whatever the
// sink raises to stop the run) first close both files, remove the new file
// and show "finished" at 100 percent.
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
