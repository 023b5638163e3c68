#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

class TGraphic;

struct TPictureFormat {
    std::string className;   // as stored in front of a picture property
    std::string extension;   // file extension without the dot
    std::string description; // shown in file dialogs
    std::function<std::unique_ptr<TGraphic>()> create;
};

// The registered picture kinds: a stored picture finds its reader by class
// name, a file dialog its description by extension.
class TPictureFormats {
public:
    TPictureFormats() = default;
    TPictureFormats(const TPictureFormats&) = delete;
    TPictureFormats& operator=(const TPictureFormats&) = delete;

    // A second registration of a class name replaces the first.
    void Register(TPictureFormat format);
    const TPictureFormat* FindByClassName(std::string_view className) const;
    // Extensions compare without regard to ASCII case.
    const TPictureFormat* FindByExtension(std::string_view extension) const;
    std::size_t Count() const { return formats_.size(); }

    // The program's registry, filled at start-up.
    static TPictureFormats& Global();

private:
    std::vector<TPictureFormat> formats_;
};

} // namespace morvane
