#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The part of a template line (line 1 or line 2 of a PE file) that the window
// can show and edit. A PE file may be huge or not text at all, so the window
// never holds a whole line: it keeps the beginning of it, enough for the
// preview and for the boxes of the row, and only notes that more followed.
// The line rules are those of the engine's reader (LF or CR LF ends a line,
// a lone CR is dropped, the Ctrl-Z rule with its 128-byte offsets), so a
// short line reads exactly as the conversion will read it.
struct TTemplateExcerpt {
    // The most boxes a row builds; further separators keep their character.
    static constexpr std::size_t kMaxBoxes = 1000;
    // The most characters a preview shows before "…".
    static constexpr std::size_t kPreviewChars = 10000;
    // Never more than this many bytes of one line are kept, whatever the
    // separators: a row of a line with sparse separators may stop early.
    static constexpr std::size_t kMaxBytes = 1 << 20;

    std::string Text;   // the line, or its beginning when Cut
    bool Cut = false;   // bytes of the line followed that were not kept

    // Reads line 1 (first) or line 2 of the file at `path` (file system
    // bytes). A missing file, a directory, an unreadable or empty file, and a
    // missing line 2 give the empty excerpt. Keeping stops once the preview
    // is complete and `separatorSet` has found kMaxBoxes separators, or at
    // kMaxBytes; reading line 2 still runs over all of line 1, without
    // keeping it. `chunkSize` is the read size (tests make it tiny).
    static TTemplateExcerpt Read(const std::string& path, bool first,
                                 std::string_view separatorSet,
                                 std::size_t chunkSize = 64 * 1024);

    // The excerpt as a preview shows it: at most kPreviewChars bytes, then
    // "…" (Windows-1252 byte 0x85) when anything was left out.
    static std::string PreviewOf(std::string_view mapped, bool cut);
};
