#include "TWindowChoice.h"

#include "TSettingsFile.h"

morvane::TSavedSettings TWindowChoice::Saved() const
{
    morvane::TSavedSettings saved;
    saved.Conversion = Settings;
    if (!Header.empty() && !HeaderCut)
        morvane::TSettingsFile::SetHeader(saved, Header);
    return saved;
}
