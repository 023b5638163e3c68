// Windows only. The workbook library prints "[ERROR] workbook_close(): ..."
// and the like to the standard error beside the error code it returns; the
// message the user gets is ours, built from that code and the system's
// reason, and a second, raw line in the library's words would only confuse
// (in a terminal it even lands amid the progress bar). The build renames the
// library's every formatted print to this call (cmake/Xlsxwriter.cmake),
// which drops what goes to the standard error and writes the rest, the
// parts of the workbook, as before.

#include <cstdarg>
#include <cstdio>

extern "C" int morvane_xlsxwriter_vfprintf(FILE* stream, const char* format, va_list arguments)
{
    if (stream == stderr)
        return 0;
    return __mingw_vfprintf(stream, format, arguments);
}
