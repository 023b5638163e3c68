#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {
class TRememberedSettings;
}

// The fields the look window plotted last for a header line under a
// separator set: kept for the session, and across sessions in a file of
// the user's configuration folder beside the remembered conversions.
class TRememberedLookFields {
public:
    static const char* const kFileName;

    TRememberedLookFields();
    ~TRememberedLookFields();
    TRememberedLookFields(const TRememberedLookFields&) = delete;
    TRememberedLookFields& operator=(const TRememberedLookFields&) = delete;

    // Reads the choices kept in `folder` (file system bytes); with none,
    // choices last for the session.
    void Load(const std::string& folder);

    std::optional<std::vector<std::size_t>> Find(std::string_view header, std::string_view separatorSet) const;
    // A file that cannot be written leaves the choice for the session: a
    // choice of lines to look at is not worth a box.
    void Remember(std::string_view header, std::string_view separatorSet, const std::vector<std::size_t>& fields);

private:
    std::unique_ptr<morvane::TRememberedSettings> store_;
};
