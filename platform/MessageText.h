#pragma once

#include <QString>

#include <string_view>

// Turns the bytes of an engine message into text for the screen. File names in
// messages are the file system's bytes (UTF-8); other bytes may come straight
// from a data file written in Windows-1252. A message that is valid UTF-8 is
// read as UTF-8, any other as Windows-1252, so no byte is ever lost or
// replaced.
QString MessageToQString(std::string_view bytes);
