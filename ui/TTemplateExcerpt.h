#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The part of a template line (line 1 or line 2 of a PE file) that the window
// can show and edit. A PE file may be huge or not text at all, so the window
// never holds a whole line: it keeps the beginning of it, far more than the
// preview and the boxes of a row need, and notes that more followed.
struct TTemplateExcerpt {
    // The most boxes a row builds; further separators keep their character.
    static constexpr std::size_t kMaxBoxes = 1000;
    // The most characters a preview shows before "…".
    static constexpr std::size_t kPreviewChars = 10000;
    // Never more than this many bytes of one line are kept.
    static constexpr std::size_t kMaxBytes = 1 << 20;

    std::string Text;   // the line, or its beginning when Cut
    bool Cut = false;   // bytes of the line followed that were not kept

    // Reads line 1 (first) or line 2 of the file at `path` (file system
    // bytes) by the engine's line rules. A missing file, a directory, an
    // unreadable or empty file, and a missing line 2 give the empty excerpt.
    static TTemplateExcerpt Read(const std::string& path, bool first);

    // The excerpt as a preview shows it: at most kPreviewChars bytes, then
    // "…" (Windows-1252 byte 0x85) when anything was left out.
    static std::string PreviewOf(std::string_view mapped, bool cut);
};
