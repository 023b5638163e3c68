#pragma once

// The fuzz targets hand their bytes to code that reads files, so each keeps
// one scratch file in /tmp for the whole run and rewrites it per input.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace morvane::fuzz {

// A fresh empty file named after `what`; the run aborts when none can be made.
inline std::string MakeScratchFile(const char* what)
{
    std::string pattern = std::string("/tmp/morvane-") + what + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        std::abort();
    ::close(fd);
    return pattern;
}

inline void WriteScratchFile(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// A broken expectation is a finding: abort so the fuzzer keeps the input.
inline void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace morvane::fuzz
