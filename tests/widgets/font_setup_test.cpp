#include "FontSetup.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool wineTahomaPresent()
{
    for (const QString& dir : FontSetup::DefaultTahomaDirs()) {
        if (QFileInfo::exists(dir + QStringLiteral("/tahoma.ttf")))
            return true;
    }
    return false;
}

// Runs first (tests run in the order written): the process has not loaded
// Tahoma yet, so the fall-back can still be seen.
TEST(FontSetup, WithoutTahomaFilesFallsBackToAnInstalledFamily)
{
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        GTEST_SKIP() << "Tahoma is installed system-wide";
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const FontSetup::Result result = FontSetup::SetUpFonts({empty.path()});
    EXPECT_EQ(result.tahomaFilesLoaded, 0);
    EXPECT_TRUE(QFontDatabase::families().contains(result.tahomaFamily))
        << result.tahomaFamily.toStdString();
    EXPECT_EQ(FontSetup::ResolvedFamily(QStringLiteral("Tahoma")), result.tahomaFamily);
}

TEST(FontSetup, TahomaResolvesToWinesTahomaAndArialToLiberationSans)
{
    if (!wineTahomaPresent())
        GTEST_SKIP() << "Wine's Tahoma is not installed";
    const FontSetup::Result result = FontSetup::SetUpFonts();
    EXPECT_GE(result.tahomaFilesLoaded, 1);
    EXPECT_EQ(result.tahomaFamily, QStringLiteral("Tahoma"));
    EXPECT_EQ(FontSetup::ResolvedFamily(QStringLiteral("Tahoma")), QStringLiteral("Tahoma"));
    EXPECT_EQ(result.arialFamily, QStringLiteral("Liberation Sans"));
    QFont bold(QStringLiteral("Tahoma"));
    bold.setBold(true);
    bold.setPixelSize(13);
    EXPECT_EQ(QFontInfo(bold).family(), QStringLiteral("Tahoma"));
    // A second call loads nothing again.
    EXPECT_EQ(FontSetup::SetUpFonts().tahomaFilesLoaded, 0);
}

} // namespace
