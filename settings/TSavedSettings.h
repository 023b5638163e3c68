#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "TConversionSettings.h"

namespace morvane {

// A conversion's settings as a settings file keeps them, with the header
// line they were made for.
struct TSavedSettings {
    TConversionSettings Conversion;
    // The separator count of that header under Conversion.SeparatorSet;
    // none when the settings were made without a header.
    std::optional<std::size_t> HeaderSeparators;
    // The header line itself; empty when not kept (none, or too long).
    std::string Header;
};

} // namespace morvane
