#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "TConversionSettings.h"
#include "TSavedSettings.h"

namespace morvane {
class TRememberedSettings;
}

// The window's memory of its conversions, as a policy: "&Go" keeps the boxes
// and the relative-time options per header line and separator set, and rows
// rebuilt for a header with a remembered run get them back. It says what to
// apply; the window applies it.
class TRememberedBoxes {
public:
    // The store's file in the configuration folder.
    static const char* const kFileName;

    // What rows just built should show, and since when ("2026-12-07 14:03";
    // empty for settings opened from a file, which need no note).
    struct TRestore {
        morvane::TConversionSettings Settings;
        std::string When;
    };

    TRememberedBoxes();
    ~TRememberedBoxes();
    TRememberedBoxes(const TRememberedBoxes&) = delete;
    TRememberedBoxes& operator=(const TRememberedBoxes&) = delete;

    // Reads the store once, at start; `folder` is the configuration folder's
    // file system bytes. Without one nothing is remembered.
    void Load(const std::string& folder);

    // To be asked where the rows were just built for `header`.
    std::optional<TRestore> RowsRebuilt(std::string_view header, bool headerCut, std::string_view separatorSet);
    // A conversion ran with `run` (its header the key).
    void Remember(const morvane::TSavedSettings& run);

    // Settings just opened from a file into the rows: they stand for their
    // header until the rows are next built, where no run of it is
    // remembered, so a file with the same header gets them too.
    void Adopt(const morvane::TConversionSettings& settings, std::string header);

    // The memory itself, for a batch to look headers up in; null when
    // nothing is remembered.
    const morvane::TRememberedSettings* Store() const { return store_.get(); }

private:
    std::unique_ptr<morvane::TRememberedSettings> store_;
    std::optional<morvane::TConversionSettings> adopted_;
    std::string adoptedHeader_;
};
