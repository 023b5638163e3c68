#pragma once

#include <string>
#include <string_view>

namespace morvane {

// How the bytes of a command-line argument stand for characters: as they
// are, or as UTF-8 (a UTF-8 locale, and Windows, whose UTF-16 arguments
// reach the converter as UTF-8).
enum class TArgumentEncoding { Bytes, Utf8 };

// The encoding of this process's arguments; call after setlocale.
TArgumentEncoding ArgumentEncodingOfProcess();

// The Windows-1252 bytes of an argument whose characters each stand for one
// byte of the data (separators, replacements), so that the converter takes
// a typed character as the window does. With Utf8, every valid UTF-8
// sequence becomes its Windows-1252 byte; a byte that begins no valid
// sequence is kept as it is, so that raw bytes still pass. Raises
// EUsageError naming `option` and the character when Windows-1252 has none.
std::string Windows1252FromArgument(std::string_view argument, TArgumentEncoding encoding,
                                    std::string_view option);

} // namespace morvane
