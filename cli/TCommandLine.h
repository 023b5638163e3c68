#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "ArgumentCharacters.h"
#include "TConversionSettings.h"

namespace morvane {

// A command line that cannot be run as written; the message says why.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What morvane-convert was asked to do.
class TCommandLine {
public:
    enum class TAction { Convert, Preview, Check, Help, Version };

    // Raises EUsageError for anything it cannot make sense of. The
    // characters of the separator and replacement options are read in
    // `encoding` and kept as their Windows-1252 bytes.
    static TCommandLine Parse(int argc, char** argv, TArgumentEncoding encoding = TArgumentEncoding::Bytes);

    static std::string HelpText();

    TAction Action = TAction::Convert;
    std::vector<std::string> Inputs;
    std::string Output; // empty: the proposed name beside each input
    bool Quiet = false;
    TConversionSettings Settings;
};

} // namespace morvane
