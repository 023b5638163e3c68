#pragma once

#if defined(_WIN32)
#include <string>
#else
#include <locale.h>
#endif

namespace morvane {

// Makes the calling thread print numbers with the C locale's "." for as
// long as it lives: the workbook library prints cell values and page
// margins with the C library's printf, and a workbook holding "1,5" is one
// that spreadsheets refuse or misread. Only this thread is touched, so a
// window on another thread keeps its regional settings.
class TCNumericLocale {
public:
    TCNumericLocale();
    ~TCNumericLocale();
    TCNumericLocale(const TCNumericLocale&) = delete;
    TCNumericLocale& operator=(const TCNumericLocale&) = delete;

private:
#if defined(_WIN32)
    int previousMode_ = 0;
    std::string previous_;
#else
    locale_t numericC_ = nullptr;
    locale_t previous_ = nullptr;
#endif
};

} // namespace morvane
