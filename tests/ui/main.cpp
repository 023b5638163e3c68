#include "TApplication.h"

#include "FontSetup.h"

#if __has_include("TGIFImage.h")
#include "TGIFImage.h"
#include "TPictureFormats.h"
#define MORVANE_TEST_REGISTER_GIF 1
#endif

#include <gtest/gtest.h>

// The window runs inside the program's own application object, so an error
// escaping a handler reaches the error box exactly as it does for a user.
int main(int argc, char** argv)
{
#ifdef MORVANE_TEST_REGISTER_GIF
    morvane::TGIFImage::Register(morvane::TPictureFormats::Global());
#endif
    TApplication app(argc, argv);
    FontSetup::SetUpFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
