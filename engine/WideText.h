#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace morvane {

// The engine keeps paths and texts as UTF-8 bytes; Windows takes and gives
// UTF-16. False for bytes that are not UTF-8.
bool WideFromUtf8(std::string_view utf8, std::wstring& wide);
std::string Utf8FromWide(std::wstring_view wide);

} // namespace morvane

#endif
