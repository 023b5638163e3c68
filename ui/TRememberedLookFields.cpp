#include "TRememberedLookFields.h"

#include "ESettingsFileError.h"
#include "TRememberedSettings.h"
#include "TSettingsFile.h"

#include <charconv>

const char* const TRememberedLookFields::kFileName = "look-fields.txt";

namespace {

constexpr std::string_view kFormat = "morvane-look-fields";

// The fields by their place on the line, as "1,4,7".
std::string Label(const std::vector<std::size_t>& fields)
{
    std::string label;
    for (const std::size_t field : fields)
        label += (label.empty() ? "" : ",") + std::to_string(field);
    return label;
}

std::optional<std::vector<std::size_t>> FieldsOf(std::string_view label)
{
    std::vector<std::size_t> fields;
    while (!label.empty()) {
        std::size_t field = 0;
        const auto [end, error] = std::from_chars(label.data(), label.data() + label.size(), field);
        if (error != std::errc())
            return std::nullopt;
        fields.push_back(field);
        label.remove_prefix(static_cast<std::size_t>(end - label.data()));
        if (!label.empty() && label.front() == ',')
            label.remove_prefix(1);
    }
    return fields;
}

} // namespace

TRememberedLookFields::TRememberedLookFields()
    : store_(std::make_unique<morvane::TRememberedSettings>(std::string(), kFormat))
{
}

TRememberedLookFields::~TRememberedLookFields() = default;

void TRememberedLookFields::Load(const std::string& folder)
{
    if (folder.empty())
        return;
    store_ = std::make_unique<morvane::TRememberedSettings>(folder + '/' + kFileName, kFormat);
    // A damaged file is set aside by the load; the choices start afresh.
    store_->Load();
}

std::optional<std::vector<std::size_t>> TRememberedLookFields::Find(std::string_view header,
                                                                    std::string_view separatorSet) const
{
    const morvane::TRememberedSettings::TEntry* entry = store_->Find(header, separatorSet);
    return entry ? FieldsOf(entry->Label) : std::nullopt;
}

void TRememberedLookFields::Remember(std::string_view header, std::string_view separatorSet,
                                     const std::vector<std::size_t>& fields)
{
    morvane::TSavedSettings key;
    key.Conversion.SeparatorSet = separatorSet;
    morvane::TSettingsFile::SetHeader(key, header);
    try {
        store_->Remember(key, Label(fields));
    } catch (const morvane::ESettingsFileError&) {
        // Kept for the session all the same.
    }
}
