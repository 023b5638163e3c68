#pragma once

#include "TRGBColor.h"

#include <optional>

namespace morvane {

class IByteSource;
class TIndexedBitmap;

// A picture kind that can be read from a stored picture property or a byte
// stream and shows one indexed bitmap at a time.
class TGraphic {
public:
    virtual ~TGraphic() = default;

    // The data of a stored picture property after its class name.
    virtual void ReadData(IByteSource& source) = 0;
    // Every byte from the source's current position to its end.
    virtual void LoadFromStream(IByteSource& source) = 0;

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // The bitmap to draw, or nullptr when empty.
    virtual const TIndexedBitmap* CurrentBitmap() const = 0;
    // Pixels of this colour are left out when drawing.
    virtual std::optional<TRGBColor> CurrentTransparentColor() const = 0;
};

} // namespace morvane
