#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ArgumentCharacters.h"
#include "TConversionSettings.h"
#include "TSavedSettings.h"

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

    // Raises EUsageError for anything it cannot make sense of. The
    // characters of the separator and replacement options are read in
    // `encoding` and kept as their Windows-1252 bytes.
    static TCommandLine Parse(int argc, char** argv, TArgumentEncoding encoding = TArgumentEncoding::Bytes);

    static std::string HelpText();

    // Takes every setting of a --settings file that this command line does
    // not give itself, wherever on the line it gives it, and the header the
    // file was made for. Raises EUsageError for a combination that does not
    // work out.
    void TakeSettingsFile(const TSavedSettings& file);
    // The settings as --save-settings writes them (no header yet).
    TSavedSettings SettingsToSave() const;

    TAction Action = TAction::Convert;
    std::vector<std::string> Inputs;
    std::string Output; // empty: the proposed name beside each input
    // The Output that stands for the standard output, as with other tools.
    static constexpr const char* kStandardOutput = "-";
    bool Quiet = false;
    TConversionSettings Settings;
    TFormat Format = TFormat::Csv;
    // Cuts a workbook's lines into cells.
    char CellSeparator = ';';
    // Empty when not given.
    std::string SettingsFile;
    std::string SaveSettingsFile;
    // Converts a header whose separator count differs from the settings'.
    bool AnyHeader = false;
    // The header the --settings file was made for, as far as it says.
    std::optional<std::size_t> HeaderSeparators;
    std::string Header;

private:
    // Which settings the command line gives itself.
    struct TGiven {
        bool SeparatorSet = false, HeaderMap = false, DataMap = false, To = false, RelativeTime = false,
             RelativeTimeSeparator = false, AcrossMidnight = false;
    };
    TGiven given_;
};

} // namespace morvane
