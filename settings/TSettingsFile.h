#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "TSavedSettings.h"

namespace morvane {

// The settings file: UTF-8 text, one key=value a line, '#' starting a
// comment line, and a first line naming the format and its version. Values
// are the window's bytes: a Windows-1252 character is written as the
// Unicode character it is; a byte that cannot stand in a text line is
// written "\xHH", a backslash "\\", an empty map entry "\_".
//
// Reading is strict: an unknown key, a key given twice, a value out of range
// or a damaged line raises ESettingsFileError naming the file and the line.
class TSettingsFile {
public:
    static constexpr int kVersion = 1;
    // A settings file is a few lines; anything larger is not one.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;
    // Longer header lines are kept by their separator count only.
    static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

    // One block of settings; Label is what its "[...]" line says (empty in a
    // settings file, which has one block and no such line).
    struct TRecord {
        std::string Label;
        TSavedSettings Settings;
    };

    static std::string Format(const TSavedSettings& settings);
    // `fileName` only names the file in messages.
    static TSavedSettings Parse(std::string_view text, const std::string& fileName);

    // Raises ESettingsFileError when the file cannot be read or understood.
    static TSavedSettings Load(const std::string& path);
    static void Save(const std::string& path, const TSavedSettings& settings);

    // A file of labelled blocks under its own format name.
    static std::string FormatRecords(std::string_view format, const std::vector<TRecord>& records);
    static std::vector<TRecord> ParseRecords(std::string_view text, const std::string& fileName,
                                             std::string_view format);

    // The whole file, refused when larger than maxBytes.
    static std::string ReadFile(const std::string& path, std::size_t maxBytes);
    static void WriteFile(const std::string& path, std::string_view text);

    // The header line's part of `settings`: its separator count under the
    // settings' separator set, and the line itself when it is not too long.
    static void SetHeader(TSavedSettings& settings, std::string_view header);
};

} // namespace morvane
