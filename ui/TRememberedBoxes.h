#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

#include "TConversionSettings.h"
#include "TSavedSettings.h"

namespace morvane {
class TRememberedSettings;
}
class IPlatform;
class TfMain;

// The window's memory of its conversions: "&Go" keeps the boxes and the
// relative-time options per header line and separator set, and a row
// rebuilt for a header with remembered settings gets them back, the hint
// line saying so until the next change of a box.
class TRememberedBoxes : public QObject {
    Q_OBJECT
public:
    // The store's file in the configuration folder.
    static const char* const kFileName;

    explicit TRememberedBoxes(TfMain* window);
    ~TRememberedBoxes() override;
    TRememberedBoxes(const TRememberedBoxes&) = delete;
    TRememberedBoxes& operator=(const TRememberedBoxes&) = delete;

    // Reads the store once, at start. Without a configuration folder
    // nothing is remembered.
    void Load(IPlatform& platform);

    // To be called where the rows were just built from the templates.
    void RowsRebuilt();
    // To be called when "&Go" has converted with the window's settings.
    void Remember();
    // One file of several converted with `run` (its header the key).
    void RememberRun(const morvane::TSavedSettings& run);
    // The memory itself, for a batch to look headers up in; null when
    // nothing is remembered.
    const morvane::TRememberedSettings* Store() const { return store_.get(); }

    // Settings just opened from a file into the rows: they stand for the
    // present header until the rows are next built, so a rebuild for the
    // same header and separator set brings them back, not the memory's.
    void Adopt(const morvane::TConversionSettings& settings);

    // False when the separator set or the file changed since the rows were
    // built: their boxes then stand for other occurrences.
    bool RowsCurrent() const;

private:
    void ShowNote(const QString& note);
    void EndNote();

    TfMain* window_;
    std::unique_ptr<morvane::TRememberedSettings> store_;
    std::string rowsSeparatorSet_;
    bool rowsBuilt_ = false;
    bool restoring_ = false;
    std::optional<morvane::TConversionSettings> adopted_;
    std::string adoptedHeader_;
    bool noteShown_ = false;
};
