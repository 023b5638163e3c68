// Feeds arbitrary bytes to the settings file reader: it either refuses them
// with its own error or reads settings that, written again, read back the
// same and write the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ESettingsFileError.h"
#include "TSettingsFile.h"

namespace {

using namespace morvane;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Most inputs would stop at the first line; many start right.
    const std::string text = (size > 0 && data[0] % 2 == 0 ? "morvane-settings 1\n" : "") +
                             std::string(reinterpret_cast<const char*>(data), size);
    TSavedSettings read;
    try {
        read = TSettingsFile::Parse(text, "fuzz.ini");
    } catch (const ESettingsFileError&) {
        return 0;
    }
    const std::string written = TSettingsFile::Format(read);
    const TSavedSettings again = TSettingsFile::Parse(written, "again.ini");
    Check(TSettingsFile::Format(again) == written);
    Check(again.Conversion.SeparatorSet == read.Conversion.SeparatorSet);
    Check(again.Conversion.HeaderReplacements == read.Conversion.HeaderReplacements);
    Check(again.Conversion.DataReplacements == read.Conversion.DataReplacements);
    Check(again.Header == read.Header && again.HeaderSeparators == read.HeaderSeparators);
    return 0;
}
