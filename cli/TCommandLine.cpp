#include "TCommandLine.h"

#include <getopt.h>

namespace morvane {

namespace {

enum LongOnly { kHeaderMap = 1000, kDataMap, kRelativeTimeSeparator, kPreview, kVersion };

std::vector<std::string> OneEntryPerCharacter(const std::string& chars)
{
    std::vector<std::string> entries;
    entries.reserve(chars.size());
    for (char c : chars)
        entries.emplace_back(1, c);
    return entries;
}

} // namespace

std::string TCommandLine::HelpText()
{
    return "Usage: morvane-convert [options] INPUT...\n"
           "Converts PE data files into CSV files a spreadsheet opens directly: every line\n"
           "is copied byte for byte with its separators replaced as asked, and ends in CR LF.\n"
           "\n"
           "  -o, --output FILE        output path (one INPUT only); default: \"<name> (XLS).csv\"\n"
           "                           beside each INPUT\n"
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
           "      --preview            print the header and first data line as they would be\n"
           "                           written; convert nothing\n"
           "  -q, --quiet              no progress display (otherwise shown on a terminal)\n"
           "  -h, --help               show this help\n"
           "      --version            show the version\n"
           "\n"
           "Exit status: 0 all converted, 1 a conversion failed, 2 bad usage.\n";
}

TCommandLine TCommandLine::Parse(int argc, char** argv)
{
    static const option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"separators", required_argument, nullptr, 's'},
        {"to", required_argument, nullptr, 't'},
        {"header-map", required_argument, nullptr, kHeaderMap},
        {"data-map", required_argument, nullptr, kDataMap},
        {"relative-time", no_argument, nullptr, 'r'},
        {"relative-time-separator", required_argument, nullptr, kRelativeTimeSeparator},
        {"preview", no_argument, nullptr, kPreview},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };

    TCommandLine line;
    bool outputGiven = false;
    bool help = false;
    bool version = false;
    bool preview = false;
    // getopt keeps its place in globals; start afresh for every parse.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":o:s:t:rqh", longOptions, nullptr);
        if (c == -1)
            break;
        // The option just looked at; for an unknown letter inside a cluster
        // such as -rx only the letter itself.
        const std::string given = (c == '?' && optopt != 0) ? std::string("-") + static_cast<char>(optopt)
                                  : (optind > 0 && optind <= argc) ? argv[optind - 1]
                                                                   : "";
        switch (c) {
        case 'o':
            line.Output = optarg;
            outputGiven = true;
            break;
        case 's':
            line.Settings.SeparatorSet = optarg;
            break;
        case 't':
            if (std::string(optarg).size() != 1)
                throw EUsageError("--to takes exactly one character, not \"" + std::string(optarg) + "\"");
            line.Settings.ReplacementBeyondList = optarg;
            break;
        case kHeaderMap:
            line.Settings.HeaderReplacements = OneEntryPerCharacter(optarg);
            break;
        case kDataMap:
            line.Settings.DataReplacements = OneEntryPerCharacter(optarg);
            break;
        case 'r':
            line.Settings.RelativeTime = true;
            break;
        case kRelativeTimeSeparator:
            line.Settings.RelativeTimeSeparator = optarg;
            break;
        case kPreview:
            preview = true;
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
        case ':':
            throw EUsageError("option \"" + given + "\" needs a value");
        default:
            throw EUsageError("unknown option \"" + given + "\"");
        }
    }
    for (int i = optind; i < argc; ++i)
        line.Inputs.emplace_back(argv[i]);

    if (help) {
        line.Action = TAction::Help;
        return line;
    }
    if (version) {
        line.Action = TAction::Version;
        return line;
    }
    if (line.Inputs.empty())
        throw EUsageError("no INPUT file named");
    if (outputGiven && line.Inputs.size() > 1)
        throw EUsageError("--output names one file, but " + std::to_string(line.Inputs.size()) +
                          " inputs were given");
    if (outputGiven && line.Output.empty())
        throw EUsageError("--output needs a file name");
    line.Action = preview ? TAction::Preview : TAction::Convert;
    return line;
}

} // namespace morvane
