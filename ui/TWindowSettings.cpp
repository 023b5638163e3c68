#include "TWindowSettings.h"

#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TReplacementRow.h"
#include "TSettingsFile.h"
#include "uMain.h"


morvane::TSavedSettings TWindowSettings::Collect(const TfMain& window)
{
    morvane::TSavedSettings saved;
    morvane::TConversionSettings& c = saved.Conversion;
    c.SeparatorSet = window.SeparatorSet();
    c.HeaderReplacements = window.HeaderRow().Texts();
    c.DataReplacements = window.LineRow().Texts();
    c.RelativeTime = window.cb_RelativeTimeSeperator->Checked();
    c.RelativeTimeSeparator = window.RelativeTimeSeparator();
    c.AcrossMidnight = window.cb_AcrossMidnight->Checked();
    const TTemplateExcerpt& header = window.HeaderTemplate();
    // A cut line's count says nothing about the whole line.
    if (!header.Text.empty() && !header.Cut)
        morvane::TSettingsFile::SetHeader(saved, header.Text);
    return saved;
}

void TWindowSettings::ApplyOptions(TfMain& window, const morvane::TConversionSettings& settings)
{
    // Each edit's change handler takes its text into the window's values.
    window.ed_Seperator->SetText(settings.SeparatorSet);
    window.cb_RelativeTimeSeperator->SetChecked(settings.RelativeTime);
    window.ed_RelativeTimeSeperator->SetText(settings.RelativeTimeSeparator);
    window.cb_AcrossMidnight->SetChecked(settings.AcrossMidnight);
}

void TWindowSettings::ApplyRows(TfMain& window, const morvane::TConversionSettings& settings)
{
    window.HeaderRow().ApplyTexts(settings.HeaderReplacements, settings.ReplacementBeyondList);
    window.LineRow().ApplyTexts(settings.DataReplacements, settings.ReplacementBeyondList);
}
