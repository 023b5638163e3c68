#include "TCommandLine.h"

#include <getopt.h>

#include "InputPatterns.h"

namespace morvane {

namespace {

enum LongOnly {
    kHeaderMap = 1000,
    kDataMap,
    kRelativeTimeSeparator,
    kAcrossMidnight,
    kPreview,
    kCheck,
    kVersion,
    kFormat,
    kCellSeparator,
    kSettings,
    kSaveSettings,
    kAnyHeader
};

bool EndsWithNoCase(const std::string& text, const std::string& lowerEnd)
{
    if (text.size() < lowerEnd.size())
        return false;
    for (std::size_t i = 0; i < lowerEnd.size(); ++i) {
        char c = text[text.size() - lowerEnd.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerEnd[i])
            return false;
    }
    return true;
}

std::vector<std::string> OneEntryPerCharacter(const std::string& chars)
{
    std::vector<std::string> entries;
    entries.reserve(chars.size());
    for (char c : chars)
        entries.emplace_back(1, c);
    return entries;
}

// The number of bytes of the one UTF-8 character that `text` is made of, or
// 0 when it is not exactly one such character.
std::size_t LengthOfOneUtf8Character(const std::string& text)
{
    if (text.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || text.size() != length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// The one byte an option that takes a character was given.
char OneByte(const char* option, const std::string& value)
{
    if (const std::size_t length = LengthOfOneUtf8Character(value); length > 1) {
        throw EUsageError(std::string(option) + " takes a single byte (one Windows-1252 character), but \"" + value +
                          "\" is " + std::to_string(length) + " bytes");
    }
    if (value.size() != 1)
        throw EUsageError(std::string(option) + " takes exactly one character, not \"" + value + "\"");
    return value[0];
}

const option* LongOptionWithValue(const option* options, int val)
{
    for (const option* o = options; o->name != nullptr; ++o) {
        if (o->val == val)
            return o;
    }
    return nullptr;
}

std::size_t LongOptionsStartingWith(const option* options, const std::string& prefix)
{
    std::size_t count = 0;
    for (const option* o = options; o->name != nullptr; ++o) {
        if (std::string(o->name).compare(0, prefix.size(), prefix) == 0)
            ++count;
    }
    return count;
}

// The message for an option getopt_long refused; `c` is what it returned.
// getopt implementations differ in which of '?' and ':' they return for a
// flag given a value, so the cases are told apart by the option itself.
std::string RefusedOptionMessage(const option* options, int c, int argc, char** argv)
{
    const std::string element = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    const option* known = optopt != 0 ? LongOptionWithValue(options, optopt) : nullptr;
    const bool isLong = element.compare(0, 2, "--") == 0 && (optopt == 0 || optopt > 0xFF || known != nullptr);
    if (isLong) {
        const std::size_t equals = element.find('=');
        const std::string name = element.substr(0, equals);
        if (known == nullptr) {
            if (LongOptionsStartingWith(options, name.substr(2)) > 1)
                return "option \"" + name + "\" is ambiguous";
            return "unknown option \"" + name + "\"";
        }
        if (known->has_arg == no_argument && equals != std::string::npos)
            return "option '--" + std::string(known->name) + "' doesn't allow an argument";
        return "option \"--" + std::string(known->name) + "\" needs a value";
    }
    const std::string letter = std::string("-") + static_cast<char>(optopt);
    if (c == ':')
        return "option \"" + letter + "\" needs a value";
    return "unknown option \"" + letter + "\"";
}

} // namespace

std::string TCommandLine::HelpText()
{
    return "Usage: morvane-convert [options] INPUT...\n"
           "Converts PE data files into CSV files a spreadsheet opens directly: every line\n"
           "is copied byte for byte with its separators replaced as asked, and ends in CR LF.\n"
           "With --format xlsx the same lines go into an Excel workbook instead.\n"
           "\n"
           "  -o, --output FILE        output path (one INPUT only), - for the standard output;\n"
           "                           default: \"<name> (XLS).csv\" (\"<name> (XLS).xlsx\" for a\n"
           "                           workbook) beside each INPUT\n"
           "      --format FORMAT      csv, or xlsx for a workbook of typed cells: numbers,\n"
           "                           times of day and text (default: xlsx when --output ends\n"
           "                           in .xlsx, else csv)\n"
           "      --cell-separator CHAR   cuts each converted line into a workbook's cells\n"
           "                           (default \";\", so --to ';' gives one cell per field)\n"
           "  -s, --separators CHARS   the characters that count as separators (default \",\")\n"
           "  -t, --to CHAR            replace every separator occurrence of every line by CHAR\n"
           "      --header-map CHARS   character i replaces separator occurrence i of the header\n"
           "      --data-map CHARS     character i replaces separator occurrence i of each data line\n"
           "                           A map wins for the occurrences it covers; --to replaces\n"
           "                           those beyond its end. Without --to or a map every\n"
           "                           separator stays as it is.\n"
           "  -r, --relative-time      lead every line with the whole seconds since the first\n"
           "                           data line (\"relTime\" in the header)\n"
           "      --relative-time-separator TEXT   text behind that cell (default \";\")\n"
           "                           Each character of -s, --to, the maps and this text\n"
           "                           stands for its Windows-1252 byte.\n"
           "      --across-midnight    with -r: count on past midnight; a line more than 12 hours\n"
           "                           earlier than the line before it begins the next day\n"
           "      --preview            print the header and first data line as they would be\n"
           "                           written (for a workbook, their typed cells); convert\n"
           "                           nothing\n"
           "      --check              convert nothing; report each data line whose separator\n"
           "                           count differs from the first data line's and, with -r,\n"
           "                           each one without a time of day (lines counted from the\n"
           "                           header as line 1); a summary per INPUT on stdout\n"
           "      --settings FILE      take the settings of FILE (saved by the window or by\n"
           "                           --save-settings); options given here win over it\n"
           "      --save-settings FILE write the settings of this command line to FILE; with\n"
           "                           exactly one INPUT its header goes in too. Without INPUT\n"
           "                           nothing is converted\n"
           "      --any-header         convert a header whose separator count differs from the\n"
           "                           one the --settings file was made for (else refused)\n"
           "  -q, --quiet              no progress display (otherwise shown on a terminal)\n"
           "  -h, --help               show this help\n"
           "      --version            show the version\n"
           "\n"
           "Examples:\n"
#ifdef _WIN32
           // cmd keeps single quotes as characters of the argument.
           "  morvane-convert -r --across-midnight --to \";\" overnight.pe\n"
           "  morvane-convert --check -s \",\" -r run-12.pe\n"
#else
           "  morvane-convert -r --across-midnight --to ';' overnight.pe\n"
           "  morvane-convert --check -s ',' -r run-12.pe\n"
#endif
           "  morvane-convert --settings lab.ini *.pe      (lab.ini saved in the window)\n"
           "\n"
           "Exit status: 0 all converted (with --check: nothing found), 1 a conversion failed\n"
           "(with --check: something found, with --settings: a header refused), 2 bad usage\n"
           "or a settings file that cannot be read.\n";
}

TCommandLine TCommandLine::Parse(int argc, char** argv, TArgumentEncoding encoding)
{
    static const option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"separators", required_argument, nullptr, 's'},
        {"to", required_argument, nullptr, 't'},
        {"header-map", required_argument, nullptr, kHeaderMap},
        {"data-map", required_argument, nullptr, kDataMap},
        {"relative-time", no_argument, nullptr, 'r'},
        {"relative-time-separator", required_argument, nullptr, kRelativeTimeSeparator},
        {"across-midnight", no_argument, nullptr, kAcrossMidnight},
        {"preview", no_argument, nullptr, kPreview},
        {"check", no_argument, nullptr, kCheck},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {"format", required_argument, nullptr, kFormat},
        {"cell-separator", required_argument, nullptr, kCellSeparator},
        {"settings", required_argument, nullptr, kSettings},
        {"save-settings", required_argument, nullptr, kSaveSettings},
        {"any-header", no_argument, nullptr, kAnyHeader},
        {nullptr, 0, nullptr, 0},
    };

    TCommandLine line;
    bool outputGiven = false;
    bool formatGiven = false;
    bool help = false;
    bool version = false;
    bool preview = false;
    bool check = false;
    // getopt keeps its place in globals; start afresh for every parse.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":o:s:t:rqh", longOptions, nullptr);
        if (c == -1)
            break;
        switch (c) {
        case 'o':
            line.Output = optarg;
            outputGiven = true;
            break;
        case 's':
            line.Settings.SeparatorSet = Windows1252FromArgument(optarg, encoding, "--separators");
            line.given_.SeparatorSet = true;
            break;
        case 't':
            line.Settings.ReplacementBeyondList =
                std::string(1, OneByte("--to", Windows1252FromArgument(optarg, encoding, "--to")));
            line.given_.To = true;
            break;
        case kFormat: {
            const std::string format = optarg;
            if (format != "csv" && format != "xlsx")
                throw EUsageError("--format takes csv or xlsx, not \"" + format + "\"");
            line.Format = format == "xlsx" ? TFormat::Xlsx : TFormat::Csv;
            formatGiven = true;
            break;
        }
        case kCellSeparator:
            line.CellSeparator =
                OneByte("--cell-separator", Windows1252FromArgument(optarg, encoding, "--cell-separator"));
            break;
        case kHeaderMap:
            line.Settings.HeaderReplacements =
                OneEntryPerCharacter(Windows1252FromArgument(optarg, encoding, "--header-map"));
            line.given_.HeaderMap = true;
            break;
        case kDataMap:
            line.Settings.DataReplacements =
                OneEntryPerCharacter(Windows1252FromArgument(optarg, encoding, "--data-map"));
            line.given_.DataMap = true;
            break;
        case 'r':
            line.Settings.RelativeTime = true;
            line.given_.RelativeTime = true;
            break;
        case kRelativeTimeSeparator:
            line.Settings.RelativeTimeSeparator =
                Windows1252FromArgument(optarg, encoding, "--relative-time-separator");
            line.given_.RelativeTimeSeparator = true;
            break;
        case kAcrossMidnight:
            line.Settings.AcrossMidnight = true;
            line.given_.AcrossMidnight = true;
            break;
        case kPreview:
            preview = true;
            break;
        case kCheck:
            check = true;
            break;
        case 'q':
            line.Quiet = true;
            break;
        case 'h':
            help = true;
            break;
        case kVersion:
            version = true;
            break;
        case kSettings:
            if (*optarg == '\0')
                throw EUsageError("--settings needs a file name");
            line.SettingsFile = optarg;
            break;
        case kSaveSettings:
            if (*optarg == '\0')
                throw EUsageError("--save-settings needs a file name");
            line.SaveSettingsFile = optarg;
            break;
        case kAnyHeader:
            line.AnyHeader = true;
            break;
        default:
            throw EUsageError(RefusedOptionMessage(longOptions, c, argc, argv));
        }
    }
    for (int i = optind; i < argc; ++i)
        line.Inputs.emplace_back(argv[i]);
#ifdef _WIN32
    // "/?" is how Windows programs are asked for their help; where it is
    // the value of an option it stays that value.
    for (const std::string& input : line.Inputs)
        help = help || input == "/?";
#endif

    if (help) {
        line.Action = TAction::Help;
        return line;
    }
    if (version) {
        line.Action = TAction::Version;
        return line;
    }
    line.Inputs = ExpandInputPatterns(line.Inputs);
    // Saving settings is a task of its own; it needs no input.
    if (line.Inputs.empty() && line.SaveSettingsFile.empty())
        throw EUsageError("no INPUT file named");
    if (outputGiven && line.Inputs.size() > 1)
        throw EUsageError("--output names one file, but " + std::to_string(line.Inputs.size()) +
                          " inputs were given");
    if (outputGiven && line.Output.empty())
        throw EUsageError("--output needs a file name");
    // With a settings file, -r may come from the file.
    if (line.SettingsFile.empty() && line.Settings.AcrossMidnight && !line.Settings.RelativeTime)
        throw EUsageError("--across-midnight counts the relative time column; it needs -r");
    if (preview && check)
        throw EUsageError("--preview and --check cannot be combined");
    if (outputGiven && check)
        throw EUsageError("--check writes nothing; --output has no use with it");
    if (!formatGiven)
        line.Format = EndsWithNoCase(line.Output, ".xlsx") ? TFormat::Xlsx : TFormat::Csv;
    // A workbook is a zip archive put together at its end, not a stream.
    if (line.Output == kStandardOutput && line.Format == TFormat::Xlsx)
        throw EUsageError("a workbook cannot be written to the standard output; name a file with --output");
    line.Action = preview ? TAction::Preview : check ? TAction::Check : TAction::Convert;
    return line;
}

void TCommandLine::TakeSettingsFile(const TSavedSettings& file)
{
    const TConversionSettings& from = file.Conversion;
    TConversionSettings& to = Settings;
    if (!given_.SeparatorSet)
        to.SeparatorSet = from.SeparatorSet;
    if (!given_.HeaderMap)
        to.HeaderReplacements = from.HeaderReplacements;
    if (!given_.DataMap)
        to.DataReplacements = from.DataReplacements;
    if (!given_.To)
        to.ReplacementBeyondList = from.ReplacementBeyondList;
    if (!given_.RelativeTime)
        to.RelativeTime = from.RelativeTime;
    if (!given_.RelativeTimeSeparator)
        to.RelativeTimeSeparator = from.RelativeTimeSeparator;
    if (!given_.AcrossMidnight)
        to.AcrossMidnight = from.AcrossMidnight;
    if (given_.AcrossMidnight && !to.RelativeTime)
        throw EUsageError("--across-midnight counts the relative time column; it needs -r");
    // A count under another separator set says nothing about this one.
    if (to.SeparatorSet == from.SeparatorSet) {
        HeaderSeparators = file.HeaderSeparators;
        Header = file.Header;
    }
}

TSavedSettings TCommandLine::SettingsToSave() const
{
    TSavedSettings saved;
    saved.Conversion = Settings;
    saved.HeaderSeparators = HeaderSeparators;
    saved.Header = Header;
    return saved;
}

} // namespace morvane
