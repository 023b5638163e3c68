#pragma once

#include <xlsxwriter.h>

namespace morvane {

// The workbook library's calls that TWorkbook makes. On Linux the shared
// library is loaded with the first workbook: it brings a cryptography
// library with it, and the two would add 1.6 MB to every run of the
// converter, one that writes CSV too. Windows links the library in.
#define MORVANE_XLSXWRITER_CALLS(X)                                                                                   \
    X(workbook_new_opt)                                                                                                \
    X(workbook_add_format)                                                                                             \
    X(workbook_add_worksheet)                                                                                          \
    X(workbook_close)                                                                                                  \
    X(lxw_workbook_free)                                                                                               \
    X(format_set_num_format)                                                                                           \
    X(worksheet_freeze_panes)                                                                                          \
    X(worksheet_set_column)                                                                                            \
    X(worksheet_autofilter)                                                                                            \
    X(worksheet_write_number)                                                                                          \
    X(worksheet_write_string)                                                                                          \
    X(lxw_worksheet_write_single_row)                                                                                  \
    X(lxw_strerror)

class TXlsxwriter {
public:
    // Raises EWorkbookError, naming the library and the reason, when it
    // cannot be loaded.
    static const TXlsxwriter& Library();

#define MORVANE_XLSXWRITER_MEMBER(name) decltype(&::name) name = nullptr;
    MORVANE_XLSXWRITER_CALLS(MORVANE_XLSXWRITER_MEMBER)
#undef MORVANE_XLSXWRITER_MEMBER

private:
    TXlsxwriter() = default;
};

} // namespace morvane
