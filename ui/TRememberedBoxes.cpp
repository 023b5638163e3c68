#include "TRememberedBoxes.h"

#include "TRememberedSettings.h"

#include <QDateTime>

const char* const TRememberedBoxes::kFileName = "remembered-settings.txt";

TRememberedBoxes::TRememberedBoxes() = default;
TRememberedBoxes::~TRememberedBoxes() = default;

void TRememberedBoxes::Load(const std::string& folder)
{
    if (folder.empty())
        return;
    store_ = std::make_unique<morvane::TRememberedSettings>(folder + '/' + kFileName);
    // A damaged store is set aside by the load; the window starts without.
    store_->Load();
}

std::optional<TRememberedBoxes::TRestore> TRememberedBoxes::RowsRebuilt(std::string_view header, bool headerCut,
                                                                        std::string_view separatorSet)
{
    std::optional<morvane::TConversionSettings> adopted = std::move(adopted_);
    adopted_.reset();
    // A remembered run of this header comes back whatever was opened before:
    // it is what the user last converted with, and a settings file opened
    // earlier is older than that run.
    const morvane::TRememberedSettings::TEntry* entry =
        store_ && !header.empty() && !headerCut ? store_->Find(header, separatorSet) : nullptr;
    if (entry)
        return TRestore{entry->Settings.Conversion, entry->Label};
    if (adopted && adopted->SeparatorSet == separatorSet && adoptedHeader_ == header)
        return TRestore{*adopted, {}};
    return std::nullopt;
}

void TRememberedBoxes::Remember(const morvane::TSavedSettings& run)
{
    // The run is now what a rebuild for this header brings back.
    adopted_.reset();
    if (!store_)
        return;
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    store_->Remember(run, when.toStdString());
}

void TRememberedBoxes::Adopt(const morvane::TConversionSettings& settings, std::string header)
{
    adopted_ = settings;
    adoptedHeader_ = std::move(header);
}
