#pragma once

#include <cstddef>

namespace morvane {

// Takes a run's output instead of a file: the converted lines, each ending
// in CR LF, exactly as they would go into the file, in pieces that may cut
// a line anywhere. Called on one thread at a time, in order, though not
// necessarily on the run's own thread. Failures are raised as exceptions
// derived from Exception; the run hands them on to its caller.
class ILineSink {
public:
    virtual ~ILineSink() = default;

    virtual void Write(const char* data, std::size_t size) = 0;
    // After the last piece of a run that succeeded: completes the output.
    // A run that failed never calls it.
    virtual void Finish() = 0;
};

} // namespace morvane
