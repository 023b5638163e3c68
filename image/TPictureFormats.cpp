#include "TPictureFormats.h"

#include <algorithm>

namespace morvane {

namespace {
char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}
} // namespace

void TPictureFormats::Register(TPictureFormat format)
{
    for (auto& existing : formats_) {
        if (existing.className == format.className) {
            existing = std::move(format);
            return;
        }
    }
    formats_.push_back(std::move(format));
}

const TPictureFormat* TPictureFormats::FindByClassName(std::string_view className) const
{
    for (const auto& f : formats_)
        if (f.className == className)
            return &f;
    return nullptr;
}

const TPictureFormat* TPictureFormats::FindByExtension(std::string_view extension) const
{
    for (const auto& f : formats_)
        if (EqualIgnoringCase(f.extension, extension))
            return &f;
    return nullptr;
}

TPictureFormats& TPictureFormats::Global()
{
    static TPictureFormats formats;
    return formats;
}

} // namespace morvane
