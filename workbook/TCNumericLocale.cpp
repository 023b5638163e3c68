#include "TCNumericLocale.h"

#include <clocale>
#include <new>

#if defined(_WIN32)
#include <locale.h>
#endif

namespace morvane {

#if defined(_WIN32)

TCNumericLocale::TCNumericLocale()
    : previousMode_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE))
{
    if (const char* current = std::setlocale(LC_NUMERIC, nullptr))
        previous_ = current;
    std::setlocale(LC_NUMERIC, "C");
}

TCNumericLocale::~TCNumericLocale()
{
    if (!previous_.empty())
        std::setlocale(LC_NUMERIC, previous_.c_str());
    _configthreadlocale(previousMode_);
}

#else

TCNumericLocale::TCNumericLocale()
{
    // The thread's own settings, every category as it was but the numbers.
    if (locale_t copy = duplocale(uselocale(static_cast<locale_t>(nullptr)))) {
        numericC_ = newlocale(LC_NUMERIC_MASK, "C", copy);
        if (!numericC_)
            freelocale(copy);
    }
    // Going on without it would write a workbook that looks right here and
    // breaks elsewhere.
    if (!numericC_)
        throw std::bad_alloc();
    previous_ = uselocale(numericC_);
}

TCNumericLocale::~TCNumericLocale()
{
    if (!numericC_)
        return;
    uselocale(previous_);
    freelocale(numericC_);
}

#endif

} // namespace morvane
