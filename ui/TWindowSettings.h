#pragma once

#include <QString>

#include <string>

#include "TSavedSettings.h"

class TfMain;

// The window's conversion settings in the form a settings file keeps them,
// and back into the window's controls.
class TWindowSettings {
public:
    // What "&Go" converts with, and the header line the rows were built
    // from (left out when it was cut or could not be read).
    static morvane::TSavedSettings Collect(const TfMain& window);
    // The separator set and the relative-time options onto page 1.
    static void ApplyOptions(TfMain& window, const morvane::TConversionSettings& settings);
    // The two maps into the rows of boxes; boxes beyond a map take the
    // settings' one replacement for every occurrence, else their separator.
    static void ApplyRows(TfMain& window, const morvane::TConversionSettings& settings);
};
