#pragma once

#include <QString>

#include <string>

#include "TConversionSettings.h"
#include "TSavedSettings.h"

// What the user chose in the window, handed out as one value: the classes
// around the window take this, never the window itself.
struct TWindowChoice {
    // The separator set, both rows' boxes and the relative-time options.
    morvane::TConversionSettings Settings;
    // The header line the rows were built from, as far as the window keeps
    // it; Cut when more followed.
    std::string Header;
    bool HeaderCut = false;
    // The PE file as the file box names it.
    QString Input;

    // The form a settings file keeps: the header goes with it only when
    // whole, as a cut line's count says nothing about the whole line.
    morvane::TSavedSettings Saved() const;
};
