// libxlsxwriter deflates every part of a workbook at zlib's default level and
// has no setting for it. On a sheet of numbers that level spends more than
// half of the whole run in deflate, for a file only a sixth smaller than the
// fastest level gives, so the library's one call that opens a part in its zip
// writer is taken over here and passed on with the fastest level. The call's
// other arguments, and everything that reads the workbook, stay as they were.
//
// Linux: the library is shared and uses the shared minizip; the executable's
// own definition comes first in the dynamic lookup, and the real one is the
// next. Windows: the library is static with minizip inside it, and the link
// wraps the call (see CMakeLists.txt). The link keeps this file in either way.

#include <zlib.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

// minizip's own "internal error" code, which the library reports as a zip
// failure of the workbook's file.
constexpr int kZipInternalError = -104;

} // namespace

extern "C" {

using TOpenPartInZip = int(void* zip, const char* name, const void* info, const void* localExtra,
                           unsigned localExtraSize, const void* globalExtra, unsigned globalExtraSize,
                           const char* comment, int method, int level, int raw, int windowBits, int memLevel,
                           int strategy, const char* password, unsigned long crc, unsigned long versionMadeBy,
                           unsigned long flagBase, int zip64);

#ifdef _WIN32
TOpenPartInZip __real_zipOpenNewFileInZip4_64;
#define MORVANE_OPEN_PART_IN_ZIP __wrap_zipOpenNewFileInZip4_64
#else
#define MORVANE_OPEN_PART_IN_ZIP zipOpenNewFileInZip4_64
#endif

__attribute__((visibility("default"))) int
MORVANE_OPEN_PART_IN_ZIP(void* zip, const char* name, const void* info, const void* localExtra, unsigned localExtraSize,
                         const void* globalExtra, unsigned globalExtraSize, const char* comment, int method,
                         int level, int raw, int windowBits, int memLevel, int strategy, const char* password,
                         unsigned long crc, unsigned long versionMadeBy, unsigned long flagBase, int zip64)
{
#ifdef _WIN32
    TOpenPartInZip* const real = &__real_zipOpenNewFileInZip4_64;
#else
    static TOpenPartInZip* const real =
        reinterpret_cast<TOpenPartInZip*>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
    if (!real)
        return kZipInternalError;
#endif
    if (method == Z_DEFLATED && level != 0)
        level = Z_BEST_SPEED;
    return real(zip, name, info, localExtra, localExtraSize, globalExtra, globalExtraSize, comment, method, level, raw,
                windowBits, memLevel, strategy, password, crc, versionMadeBy, flagBase, zip64);
}

} // extern "C"
