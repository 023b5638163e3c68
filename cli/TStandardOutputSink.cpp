#include "TStandardOutputSink.h"

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "EInOutError.h"
#include "TOsFile.h"

namespace morvane {

TStandardOutputSink::TStandardOutputSink(std::FILE* stream)
    : stream_(stream)
{
#ifdef _WIN32
    // The lines end in CR LF already; text mode would make them CR CR LF.
    std::fflush(stream_);
    _setmode(_fileno(stream_), _O_BINARY);
#endif
}

void TStandardOutputSink::Write(const char* data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stream_) != size)
        RaiseWriteError();
}

void TStandardOutputSink::Finish()
{
    errno = 0;
    if (std::fflush(stream_) != 0)
        RaiseWriteError();
}

void TStandardOutputSink::RaiseWriteError()
{
    const int error = errno;
    throw EInOutError("Cannot write the standard output" +
                      (error != 0 ? ": " + TOsFile::ErrorText(error) : std::string()));
}

} // namespace morvane
