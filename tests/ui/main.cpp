#include "TApplication.h"

#include "FontSetup.h"

#include "TGIFImage.h"
#include "TPictureFormats.h"

#include <gtest/gtest.h>

// The window runs inside the program's own application object, so an error
// escaping a handler reaches the error box exactly as it does for a user.
int main(int argc, char** argv)
{
    morvane::TGIFImage::Register(morvane::TPictureFormats::Global());
    TApplication app(argc, argv);
    FontSetup::SetUpFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
