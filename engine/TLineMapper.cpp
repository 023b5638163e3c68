#include "TLineMapper.h"

#include <cstring>

namespace morvane {

TLineMapper::TLineMapper(std::string_view separatorSet, const std::vector<std::string>& replacements,
                         std::string_view replacementBeyondList)
{
    for (char c : separatorSet)
        separator_[static_cast<unsigned char>(c)] = 1;

    replacement_.reserve(replacements.size());
    for (const std::string& entry : replacements)
        replacement_.push_back(entry.empty() ? kKeep : static_cast<unsigned char>(entry[0]));

    for (int b = 0; b < 256; ++b)
        beyondTable_[b] = static_cast<unsigned char>(b);
    if (!replacementBeyondList.empty()) {
        const auto with = static_cast<unsigned char>(replacementBeyondList[0]);
        for (int b = 0; b < 256; ++b) {
            if (separator_[b] && b != with) {
                beyondTable_[b] = with;
                beyondIsIdentity_ = false;
            }
        }
    }
}

void TLineMapper::MapInto(const char* src, std::size_t n, char* dst) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    auto* out = reinterpret_cast<unsigned char*>(dst);
    std::size_t pos = 0;

    // The occurrence count only matters while the list has entries left.
    std::size_t occurrence = 0;
    const std::size_t listSize = replacement_.size();
    while (occurrence < listSize && pos < n) {
        const unsigned char b = in[pos];
        unsigned char result = b;
        if (separator_[b]) {
            const short r = replacement_[occurrence++];
            if (r != kKeep)
                result = static_cast<unsigned char>(r);
        }
        out[pos++] = result;
    }

    if (pos == n)
        return;
    if (beyondIsIdentity_) {
        if (out != in)
            std::memcpy(out + pos, in + pos, n - pos);
        return;
    }
    for (; pos < n; ++pos)
        out[pos] = beyondTable_[in[pos]];
}

std::string TLineMapper::Map(std::string_view line) const
{
    std::string result(line.size(), '\0');
    MapInto(line.data(), line.size(), result.data());
    return result;
}

} // namespace morvane
