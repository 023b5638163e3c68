#include "TPicture.h"

#include "EInvalidGraphicOperation.h"
#include "GIFErrors.h"
#include "TGraphic.h"
#include "TMemoryByteSource.h"
#include "TPictureFormats.h"

#include <string>

namespace morvane {

TPicture::~TPicture() = default;

void TPicture::ReadProperty(IByteSource& source, const TPictureFormats& formats)
{
    graphic_.reset();
    unsigned char length = 0;
    if (source.Read(&length, 1) != 1)
        throw EInvalidGraphicOperation(kStreamReadError);
    std::string className(length, '\0');
    std::size_t got = 0;
    while (got < length) {
        const std::size_t n = source.Read(reinterpret_cast<unsigned char*>(className.data()) + got, length - got);
        if (n == 0)
            throw EInvalidGraphicOperation(kStreamReadError);
        got += n;
    }
    const TPictureFormat* format = formats.FindByClassName(className);
    if (format == nullptr || !format->create)
        return;
    auto graphic = format->create();
    graphic->ReadData(source);
    graphic_ = std::move(graphic);
}

TPicture TPicture::FromProperty(std::span<const unsigned char> property, const TPictureFormats& formats)
{
    TMemoryByteSource source(property);
    TPicture picture;
    picture.ReadProperty(source, formats);
    return picture;
}

} // namespace morvane
