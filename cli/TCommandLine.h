#pragma once

#include <stdexcept>
#include <string>
#include <vector>

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
    // What a conversion writes: a CSV file, or a workbook of typed cells.
    enum class TFormat { Csv, Xlsx };

    // Raises EUsageError for anything it cannot make sense of.
    static TCommandLine Parse(int argc, char** argv);

    static std::string HelpText();

    TAction Action = TAction::Convert;
    std::vector<std::string> Inputs;
    std::string Output; // empty: the proposed name beside each input
    bool Quiet = false;
    TConversionSettings Settings;
    TFormat Format = TFormat::Csv;
    // Cuts a workbook's lines into cells.
    char CellSeparator = ';';
};

} // namespace morvane
