#pragma once

#include <string>

namespace morvane {

// Line 1 (first = true, the header template) or line 2 (the data template)
// of a PE file. A missing, unreadable or empty file, or a directory, gives
// the empty text; nothing is raised for any of them. At most maxLength bytes
// of the line are kept, so that a huge file without line breaks cannot
// exhaust memory; the line is still read through to its end.
std::string ReadTemplateLine(const std::string& path, bool first,
                             std::size_t maxLength = std::string::npos);

// True for a file that opens but ends before its first line starts (empty,
// or a Ctrl-Z as its first byte): it has no header line to convert. A file
// that cannot be opened gives false; the run names the reason.
bool EndsBeforeHeader(const std::string& path);

} // namespace morvane
