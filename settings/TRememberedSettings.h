#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "TSavedSettings.h"

namespace morvane {

// The settings of the last conversions, one per header line and separator
// set, kept in one file of the user's configuration folder. Read once when
// the window starts; written on every change. The same store under a format
// name of its own keeps other choices per header the same way, in its
// entries' labels.
class TRememberedSettings {
public:
    static constexpr std::size_t kMaxEntries = 200;
    // Entries are small; a larger file is damaged, or not ours.
    static constexpr std::size_t kMaxFileBytes = 64u << 20;

    static constexpr std::string_view kConversionsFormat = "morvane-remembered-settings";

    struct TEntry {
        // What the entry's "[...]" line says: in the store of conversions,
        // when the conversion ran, as the user reads it ("2026-12-07 14:03").
        std::string Label;
        TSavedSettings Settings;
    };

    // `path`: the store's file (file system bytes); empty, the store lasts
    // for the session only. Nothing is read yet.
    explicit TRememberedSettings(std::string path, std::string_view format = kConversionsFormat);

    // Reads the file. A missing file is an empty store; a damaged one is
    // renamed aside (never deleted) and the store starts empty. Returns the
    // name it was set aside as, or empty.
    std::string Load();

    // The entry for this header under this separator set, or null.
    const TEntry* Find(std::string_view header, std::string_view separatorSet) const;

    // Keeps `settings` (whose Header and SeparatorSet are the key) as the
    // newest entry, drops the oldest beyond kMaxEntries, and writes the file.
    // A header too long to keep is not remembered. Raises
    // ESettingsFileError when the file cannot be written; the entry is kept
    // all the same.
    void Remember(const TSavedSettings& settings, std::string label);

    const std::vector<TEntry>& Entries() const { return entries_; }
    const std::string& Path() const { return path_; }

private:
    std::string SetAside() const;

    std::string path_;
    std::string format_;
    // Oldest first.
    std::vector<TEntry> entries_;
};

} // namespace morvane
