#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace morvane {

// The text with every control byte (0 to 31 and 127) shown as \xNN, so that
// it can neither end a line early nor drive a terminal. Other bytes, those of
// Windows-1252 text included, stay as they are.
std::string ShowControlBytes(std::string_view text);

// True when the stream goes to a terminal, a pipe or a socket, where a
// person or another program reads it line by line.
bool ReadLineByLine(std::FILE* stream);

// Writes the text as it is. A Windows console gets it as UTF-16 in one
// call, so that it shows every character whole whatever its code page; the
// C runtime would hand it over a byte at a time, and a console cannot piece
// a UTF-8 character together from its bytes.
void WriteText(std::FILE* stream, std::string_view text);

// Writes the message and a line end, whole even when it holds a NUL byte.
// Control bytes are shown as \xNN where the stream is read line by line and
// kept as they are in a file.
void WriteMessage(std::FILE* stream, std::string_view message);

} // namespace morvane
