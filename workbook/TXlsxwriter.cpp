#include "TXlsxwriter.h"

#include <string>

#include "EWorkbookError.h"

#ifdef MORVANE_XLSXWRITER_SONAME
#include <dlfcn.h>
#endif

namespace morvane {

namespace {

struct TLoaded {
    TXlsxwriter Calls;
    std::string Error;
};

} // namespace

const TXlsxwriter& TXlsxwriter::Library()
{
    static const TLoaded loaded = [] {
        TLoaded result{TXlsxwriter(), {}};
#ifdef MORVANE_XLSXWRITER_SONAME
        // Global, so that the zip calls it makes find the executable's own
        // first (ZipLevel.cpp), and ZipLevel.cpp finds the real ones behind.
        void* const handle = dlopen(MORVANE_XLSXWRITER_SONAME, RTLD_NOW | RTLD_GLOBAL);
        if (!handle) {
            const char* const reason = dlerror();
            result.Error = std::string("Cannot load the workbook library ") + MORVANE_XLSXWRITER_SONAME + ": " +
                           (reason ? reason : "unknown reason");
            return result;
        }
#define MORVANE_XLSXWRITER_LOAD(name)                                                                                  \
    result.Calls.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                                     \
    if (!result.Calls.name && result.Error.empty())                                                                    \
        result.Error = std::string("The workbook library ") + MORVANE_XLSXWRITER_SONAME + " has no " #name;
#else
#define MORVANE_XLSXWRITER_LOAD(name) result.Calls.name = &::name;
#endif
        MORVANE_XLSXWRITER_CALLS(MORVANE_XLSXWRITER_LOAD)
#undef MORVANE_XLSXWRITER_LOAD
        return result;
    }();
    if (!loaded.Error.empty())
        throw EWorkbookError(loaded.Error);
    return loaded.Calls;
}

} // namespace morvane
