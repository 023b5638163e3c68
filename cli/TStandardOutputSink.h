#pragma once

#include <cstddef>
#include <cstdio>

#include "ILineSink.h"

namespace morvane {

// The converted lines to a stream, for `-o -`: written as they come, like
// any other program's standard output, its bytes as they are (no CR LF
// translation on Windows). A failed write raises EInOutError.
class TStandardOutputSink : public ILineSink {
public:
    explicit TStandardOutputSink(std::FILE* stream);
    TStandardOutputSink(const TStandardOutputSink&) = delete;
    TStandardOutputSink& operator=(const TStandardOutputSink&) = delete;

    void Write(const char* data, std::size_t size) override;
    void Finish() override;

private:
    [[noreturn]] void RaiseWriteError();

    std::FILE* stream_;
};

} // namespace morvane
