#pragma once

#include <string>

namespace morvane {

// The engine's bytes are Windows-1252; what shows them to people (a
// settings file, a workbook, a command line) speaks Unicode. The five bytes
// the code page leaves undefined stand for the C1 controls of their own
// value, as Windows' own conversion has it, so every byte survives the trip.
char32_t UnicodeOfWindows1252(unsigned char byte);
// The byte for a character, or -1 when Windows-1252 has none.
int Windows1252OfUnicode(char32_t character);
// Appends the UTF-8 form of a character of the Basic Multilingual Plane.
void AppendUtf8(std::string& out, char32_t character);

} // namespace morvane
