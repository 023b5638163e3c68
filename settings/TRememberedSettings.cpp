#include "TRememberedSettings.h"

#include "ESettingsFileError.h"
#include "TSettingsFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace morvane {

namespace {

// The engine's paths are UTF-8 on Windows and the system's bytes elsewhere.
std::filesystem::path FileSystemPath(const std::string& bytes)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
#else
    return std::filesystem::path(bytes);
#endif
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(FileSystemPath(path), error) || error;
}

} // namespace

TRememberedSettings::TRememberedSettings(std::string path, std::string_view format)
    : path_(std::move(path))
    , format_(format)
{
}

std::string TRememberedSettings::Load()
{
    entries_.clear();
    if (!Exists(path_))
        return {};
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(FileSystemPath(path_), error);
    if (!error && size > kMaxFileBytes)
        return SetAside();
    std::string text;
    try {
        text = TSettingsFile::ReadFile(path_, kMaxFileBytes);
    } catch (const ESettingsFileError&) {
        // Unreadable is not damaged: the file stays where it is.
        return {};
    }
    try {
        for (TSettingsFile::TRecord& record : TSettingsFile::ParseRecords(text, path_, format_))
            entries_.push_back({std::move(record.Label), std::move(record.Settings)});
    } catch (const ESettingsFileError&) {
        entries_.clear();
        return SetAside();
    }
    if (entries_.size() > kMaxEntries)
        entries_.erase(entries_.begin(), entries_.end() - kMaxEntries);
    return {};
}

std::string TRememberedSettings::SetAside() const
{
    // Under a name of its own, so an earlier damaged copy is kept as well.
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = path_ + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (Exists(aside))
            continue;
        std::error_code error;
        std::filesystem::rename(FileSystemPath(path_), FileSystemPath(aside), error);
        return error ? std::string() : aside;
    }
    return {};
}

const TRememberedSettings::TEntry* TRememberedSettings::Find(std::string_view header,
                                                             std::string_view separatorSet) const
{
    // Newest first: the last conversion of a header is the one to bring back.
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (entry->Settings.Header == header && entry->Settings.Conversion.SeparatorSet == separatorSet)
            return &*entry;
    }
    return nullptr;
}

void TRememberedSettings::Remember(const TSavedSettings& settings, std::string label)
{
    if (settings.Header.empty() || settings.Header.size() > TSettingsFile::kMaxHeaderBytes)
        return;
    std::erase_if(entries_, [&](const TEntry& entry) {
        return entry.Settings.Header == settings.Header &&
               entry.Settings.Conversion.SeparatorSet == settings.Conversion.SeparatorSet;
    });
    entries_.push_back({std::move(label), settings});
    if (entries_.size() > kMaxEntries)
        entries_.erase(entries_.begin(), entries_.end() - kMaxEntries);

    if (path_.empty())
        return;
    std::vector<TSettingsFile::TRecord> records;
    records.reserve(entries_.size());
    for (const TEntry& entry : entries_)
        records.push_back({entry.Label, entry.Settings});
    // Written beside and then put in place, so that a run cut short leaves
    // the old store and not half of a new one.
    const std::string fresh = path_ + ".new";
    TSettingsFile::WriteFile(fresh, TSettingsFile::FormatRecords(format_, records));
    std::error_code error;
    std::filesystem::rename(FileSystemPath(fresh), FileSystemPath(path_), error);
    if (error)
        throw ESettingsFileError("Cannot write the remembered settings \"" + path_ + "\": " + error.message());
}

} // namespace morvane
