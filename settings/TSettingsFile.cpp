#include "TSettingsFile.h"

#include "ESettingsFileError.h"
#include "SeparatorMap.h"
#include "TOsFile.h"
#include "Windows1252Code.h"

#include <array>
#include <charconv>
#include <iterator>
#include <optional>

namespace morvane {

namespace {

const char kSettingsFormat[] = "morvane-settings";
// Marks an empty entry of a map among the decoded bytes.
constexpr int kEmptyEntry = -1;

// The five bytes Windows-1252 leaves undefined have no character a text
// line can hold; they are escaped like the controls.
bool Undefined(char32_t c)
{
    return c >= 0x80 && c < 0xA0;
}

// The character a byte stands for, or 0 when it has none a text line can hold.
char32_t CharacterOf(unsigned char byte)
{
    if (byte < 0x20 || byte == 0x7F)
        return 0;
    const char32_t c = UnicodeOfWindows1252(byte);
    return Undefined(c) ? 0 : c;
}

int ByteOf(char32_t character)
{
    if (character < 0x20 || character == 0x7F || Undefined(character))
        return -1;
    return Windows1252OfUnicode(character);
}

std::string Hex(unsigned value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// Bytes (or kEmptyEntry) as a value: a space at either end is escaped too,
// as editors drop those.
std::string EncodeItems(const std::vector<int>& items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int item = items[i];
        if (item == kEmptyEntry) {
            out += "\\_";
            continue;
        }
        const auto byte = static_cast<unsigned char>(item);
        const char32_t character = CharacterOf(byte);
        const bool atEnd = i == 0 || i + 1 == items.size();
        if (byte == '\\')
            out += "\\\\";
        else if (character == 0 || (byte == ' ' && atEnd))
            out += "\\x" + Hex(byte, 2);
        else
            AppendUtf8(out, character);
    }
    return out;
}

std::string EncodeText(std::string_view bytes)
{
    return EncodeItems(std::vector<int>(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size()));
}

std::string EncodeMap(const std::vector<std::string>& entries)
{
    std::vector<int> items;
    items.reserve(entries.size());
    for (const std::string& entry : entries)
        items.push_back(entry.empty() ? kEmptyEntry : static_cast<unsigned char>(entry[0]));
    return EncodeItems(items);
}

// A fault of one line; the caller adds the file and the line.
class TLineFault {
public:
    explicit TLineFault(std::string what) : What(std::move(what)) {}
    std::string What;
};

// One UTF-8 character at `at`, which moves past it.
char32_t NextCharacter(std::string_view text, std::size_t& at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        throw TLineFault("it is not valid UTF-8 text");
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            throw TLineFault("it is not valid UTF-8 text");
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        throw TLineFault("it is not valid UTF-8 text");
    at += length;
    return c;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<int> DecodeItems(std::string_view value, bool map)
{
    std::vector<int> items;
    std::size_t at = 0;
    while (at < value.size()) {
        if (value[at] == '\\') {
            const char what = at + 1 < value.size() ? value[at + 1] : '\0';
            if (what == '\\') {
                items.push_back('\\');
                at += 2;
            } else if (what == '_' && map) {
                items.push_back(kEmptyEntry);
                at += 2;
            } else if (what == 'x' && at + 3 < value.size() && HexDigit(value[at + 2]) >= 0 &&
                       HexDigit(value[at + 3]) >= 0) {
                const int byte = HexDigit(value[at + 2]) * 16 + HexDigit(value[at + 3]);
                if (byte == 0)
                    throw TLineFault("\\x00 stands for no character a setting can hold");
                items.push_back(byte);
                at += 4;
            } else {
                throw TLineFault("\"\\" + std::string(what == '\0' ? "" : std::string(1, what)) +
                                 "\" is not an escape of this file (\\xHH, \\\\" +
                                 (map ? ", \\_" : "") + ")");
            }
            continue;
        }
        const char32_t c = NextCharacter(value, at);
        const int byte = ByteOf(c);
        if (byte < 0) {
            if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
                throw TLineFault("a control character stands in the value; write it as \\x" +
                                 Hex(static_cast<unsigned>(c), 2));
            throw TLineFault("the character U+" + Hex(static_cast<unsigned>(c), 4) +
                             " has no Windows-1252 byte");
        }
        items.push_back(byte);
    }
    return items;
}

std::string DecodeText(std::string_view value)
{
    // Most values are plain ASCII without escapes: taken as they stand.
    bool plain = true;
    for (const char c : value)
        plain = plain && c >= 0x20 && c < 0x7F && c != '\\';
    if (plain)
        return std::string(value);
    const std::vector<int> items = DecodeItems(value, false);
    return std::string(items.begin(), items.end());
}

std::vector<std::string> DecodeMap(std::string_view value)
{
    std::vector<std::string> entries;
    for (const int item : DecodeItems(value, true))
        entries.push_back(item == kEmptyEntry ? std::string() : std::string(1, static_cast<char>(item)));
    return entries;
}

bool DecodeSwitch(std::string_view value)
{
    if (value == "on")
        return true;
    if (value == "off")
        return false;
    throw TLineFault("the value must be \"on\" or \"off\", not \"" + std::string(value) + "\"");
}

std::size_t DecodeCount(std::string_view value)
{
    constexpr std::size_t kMost = 1'000'000'000;
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || count > kMost)
        throw TLineFault("the value must be a count from 0 to " + std::to_string(kMost) + ", not \"" +
                         std::string(value) + "\"");
    return count;
}

const char* const kKeys[] = {"separators",  "header-map",      "data-map",      "to",
                             "relative-time", "relative-time-separator", "across-midnight",
                             "header-separators", "header"};

// The index of `key` in kKeys; the size of kKeys when it is none of them.
std::size_t KeyIndex(std::string_view key)
{
    std::size_t i = 0;
    while (i < std::size(kKeys) && key != kKeys[i])
        ++i;
    return i;
}

void Apply(TSavedSettings& settings, std::string_view key, std::string_view value)
{
    TConversionSettings& c = settings.Conversion;
    if (key == "separators") {
        c.SeparatorSet = DecodeText(value);
    } else if (key == "header-map") {
        c.HeaderReplacements = DecodeMap(value);
    } else if (key == "data-map") {
        c.DataReplacements = DecodeMap(value);
    } else if (key == "to") {
        c.ReplacementBeyondList = DecodeText(value);
        if (c.ReplacementBeyondList.size() > 1)
            throw TLineFault("\"to\" takes one character at most");
    } else if (key == "relative-time") {
        c.RelativeTime = DecodeSwitch(value);
    } else if (key == "relative-time-separator") {
        c.RelativeTimeSeparator = DecodeText(value);
    } else if (key == "across-midnight") {
        c.AcrossMidnight = DecodeSwitch(value);
    } else if (key == "header-separators") {
        settings.HeaderSeparators = DecodeCount(value);
    } else if (key == "header") {
        settings.Header = DecodeText(value);
        if (settings.Header.size() > TSettingsFile::kMaxHeaderBytes)
            throw TLineFault("the header line is longer than " +
                             std::to_string(TSettingsFile::kMaxHeaderBytes) + " bytes");
    }
}

void AppendSettings(std::string& out, const TSavedSettings& settings)
{
    const TConversionSettings& c = settings.Conversion;
    out += "separators=" + EncodeText(c.SeparatorSet) + "\n";
    out += "header-map=" + EncodeMap(c.HeaderReplacements) + "\n";
    out += "data-map=" + EncodeMap(c.DataReplacements) + "\n";
    out += "to=" + EncodeText(c.ReplacementBeyondList.substr(0, 1)) + "\n";
    out += std::string("relative-time=") + (c.RelativeTime ? "on" : "off") + "\n";
    out += "relative-time-separator=" + EncodeText(c.RelativeTimeSeparator) + "\n";
    out += std::string("across-midnight=") + (c.AcrossMidnight ? "on" : "off") + "\n";
    if (settings.HeaderSeparators)
        out += "header-separators=" + std::to_string(*settings.HeaderSeparators) + "\n";
    if (!settings.Header.empty())
        out += "header=" + EncodeText(settings.Header) + "\n";
}

std::string SizeText(std::size_t bytes)
{
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes >> 10) + " KiB";
}

std::string Quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

// One block being read: which keys it has had, and where.
struct TOpenRecord {
    TSettingsFile::TRecord Record;
    // The line of each key of kKeys, 0 while not given.
    std::array<std::size_t, std::size(kKeys)> KeyLines{};
    std::size_t FirstLine = 0;
};

void Finish(TOpenRecord& open, const std::string& fileName)
{
    TSavedSettings& s = open.Record.Settings;
    if (s.Header.empty())
        return;
    const std::size_t count = CountSeparators(s.Header, s.Conversion.SeparatorSet);
    if (s.HeaderSeparators && *s.HeaderSeparators != count) {
        throw ESettingsFileError("The settings file " + Quoted(fileName) + ", line " +
                                 std::to_string(open.KeyLines[KeyIndex("header-separators")]) +
                                 ": header-separators is " + std::to_string(*s.HeaderSeparators) +
                                 ", but the header line has " + std::to_string(count) + " separators");
    }
    s.HeaderSeparators = count;
}

std::vector<TSettingsFile::TRecord> ParseBlocks(std::string_view text, const std::string& fileName,
                                                std::string_view format, bool labelled)
{
    const std::string where = "The settings file " + Quoted(fileName);
    if (text.find('\0') != std::string_view::npos)
        throw ESettingsFileError(where + " is not a text file");
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    std::vector<TSettingsFile::TRecord> records;
    std::optional<TOpenRecord> open;
    if (!labelled)
        open.emplace();
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    const std::string expected = std::string(format) + " " + std::to_string(TSettingsFile::kVersion);
    while (start < text.size() || lineNumber == 0) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // Made only for a message: the store has thousands of lines.
        const auto at = [&] { return where + ", line " + std::to_string(lineNumber) + ": "; };
        if (lineNumber == 1) {
            const std::string prefix = std::string(format) + " ";
            if (line.substr(0, prefix.size()) == prefix) {
                int version = 0;
                const std::string_view digits = line.substr(prefix.size());
                const auto [e, error] = std::from_chars(digits.data(), digits.data() + digits.size(), version);
                if (error == std::errc() && e == digits.data() + digits.size() && version > TSettingsFile::kVersion)
                    throw ESettingsFileError(where + " was made by a newer version of Morvane (format " +
                                             std::to_string(version) + "; this one reads " +
                                             std::to_string(TSettingsFile::kVersion) + ")");
            }
            if (line != expected)
                throw ESettingsFileError(where + " is not a Morvane settings file: its first line should read " +
                                         Quoted(expected));
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (!labelled || line.back() != ']' || line.size() < 3)
                throw ESettingsFileError(at() + Quoted(std::string(line)) + " is not key=value");
            if (open) {
                Finish(*open, fileName);
                records.push_back(std::move(open->Record));
            }
            open.emplace();
            open->Record.Label = std::string(line.substr(1, line.size() - 2));
            open->FirstLine = lineNumber;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !open) {
            const std::string shown(line.substr(0, 60));
            throw ESettingsFileError(at() + Quoted(shown) + " is not key=value");
        }
        const std::string_view key = line.substr(0, equals);
        const std::size_t index = KeyIndex(key);
        if (index == std::size(kKeys))
            throw ESettingsFileError(at() + "unknown key " + Quoted(std::string(key.substr(0, 60))));
        if (const std::size_t earlier = open->KeyLines[index]; earlier != 0)
            throw ESettingsFileError(at() + Quoted(std::string(key)) + " is given a second time (first on line " +
                                     std::to_string(earlier) + ")");
        open->KeyLines[index] = lineNumber;
        try {
            Apply(open->Record.Settings, key, line.substr(equals + 1));
        } catch (const TLineFault& fault) {
            throw ESettingsFileError(at() + std::string(key) + ": " + fault.What);
        }
    }
    if (open) {
        Finish(*open, fileName);
        records.push_back(std::move(open->Record));
    }
    return records;
}

} // namespace

std::string TSettingsFile::Format(const TSavedSettings& settings)
{
    std::string out = std::string(kSettingsFormat) + " " + std::to_string(kVersion) + "\n";
    out += "# Conversion settings of Morvane and morvane-convert (--settings FILE).\n"
           "# UTF-8 text, one key=value a line. In a value \\xHH is the byte HH of\n"
           "# Windows-1252, \\\\ a backslash, and \\_ an empty entry of a map.\n";
    AppendSettings(out, settings);
    return out;
}

TSavedSettings TSettingsFile::Parse(std::string_view text, const std::string& fileName)
{
    return ParseBlocks(text, fileName, kSettingsFormat, false).front().Settings;
}

std::string TSettingsFile::FormatRecords(std::string_view format, const std::vector<TRecord>& records)
{
    std::string out = std::string(format) + " " + std::to_string(kVersion) + "\n";
    for (const TRecord& record : records) {
        out += "[" + record.Label + "]\n";
        AppendSettings(out, record.Settings);
    }
    return out;
}

std::vector<TSettingsFile::TRecord> TSettingsFile::ParseRecords(std::string_view text, const std::string& fileName,
                                                                std::string_view format)
{
    return ParseBlocks(text, fileName, format, true);
}

TSavedSettings TSettingsFile::Load(const std::string& path)
{
    return Parse(ReadFile(path, kMaxFileBytes), path);
}

void TSettingsFile::Save(const std::string& path, const TSavedSettings& settings)
{
    WriteFile(path, Format(settings));
}

std::string TSettingsFile::ReadFile(const std::string& path, std::size_t maxBytes)
{
    TOsFile file;
    if (!file.OpenForReading(path))
        throw ESettingsFileError("Cannot read the settings file " + Quoted(path) + ": " +
                                 TOsFile::ErrorText(file.Error()));
    if (file.Size() < 0 || static_cast<std::uint64_t>(file.Size()) > maxBytes)
        throw ESettingsFileError("The settings file " + Quoted(path) + " is larger than " +
                                 SizeText(maxBytes) + "; it cannot be a settings file");
    std::string text;
    char buffer[64 * 1024];
    for (;;) {
        const std::int64_t n = file.Read(buffer, sizeof buffer);
        if (n < 0)
            throw ESettingsFileError("Cannot read the settings file " + Quoted(path) + ": " +
                                     TOsFile::ErrorText(file.Error()));
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same limit.
        if (text.size() > maxBytes)
            throw ESettingsFileError("The settings file " + Quoted(path) + " is larger than " +
                                     SizeText(maxBytes) + "; it cannot be a settings file");
    }
    return text;
}

void TSettingsFile::WriteFile(const std::string& path, std::string_view text)
{
    TOsFile file;
    const auto fail = [&] {
        throw ESettingsFileError("Cannot write the settings file " + Quoted(path) + ": " +
                                 TOsFile::ErrorText(file.Error()));
    };
    if (!file.OpenForWriting(path) || !file.Truncate() || !file.Write(text.data(), text.size()))
        fail();
    if (!file.Close())
        fail();
}

void TSettingsFile::SetHeader(TSavedSettings& settings, std::string_view header)
{
    settings.HeaderSeparators = CountSeparators(header, settings.Conversion.SeparatorSet);
    settings.Header = header.size() <= kMaxHeaderBytes ? std::string(header) : std::string();
}

} // namespace morvane
