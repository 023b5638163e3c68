#pragma once

#include <memory>
#include <span>

namespace morvane {

class IByteSource;
class TGraphic;
class TPictureFormats;

// The picture of a picture control: empty, or one graphic of a registered kind.
class TPicture {
public:
    TPicture() = default;
    TPicture(TPicture&&) noexcept = default;
    TPicture& operator=(TPicture&&) noexcept = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    ~TPicture();

    // Reads a stored picture property: the class name (one length byte and
    // the text) and then whatever that class stores. A class name that is not
    // registered leaves the picture empty; a broken picture raises the
    // reader's error and leaves it empty.
    void ReadProperty(IByteSource& source, const TPictureFormats& formats);

    bool Empty() const { return graphic_ == nullptr; }
    const TGraphic* Graphic() const { return graphic_.get(); }

    // Reads a stored picture property held in memory.
    static TPicture FromProperty(std::span<const unsigned char> property, const TPictureFormats& formats);

private:
    std::unique_ptr<TGraphic> graphic_;
};

} // namespace morvane
