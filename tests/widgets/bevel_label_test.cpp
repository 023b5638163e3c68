#include "FontSetup.h"
#include "TBevelLabel.h"
#include "TBevelSettings.h"

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <string>

namespace {

QFont pixelFont(const QString& family, int pixels)
{
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

int advance(const QFontMetrics& metrics, const QString& text)
{
    return metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs, text).width();
}

// The window's output name label: fixed 329 x 27, etched frame, centred
// left, path ellipsis, "&" shown literally.
void makeOutputNameLabel(TBevelLabel& label)
{
    label.SetAutoSize(false);
    label.setGeometry(48, 155, 329, 27);
    label.setFont(pixelFont(QStringLiteral("DejaVu Sans"), 13));
    label.SetTransparent(false);
    label.SetColor(QColor(191, 205, 219));
    label.Bevel()->SetMode(bmEdge);
    label.SetAlignment(agCenterLeft);
    label.SetOptions(loPathEllipsis);
    label.SetShowAccelChar(false);
}

struct EllipsisCase {
    const char* name;
    const char* path;
    const char* head;  // the shortened text starts with this
    const char* tail;  // and ends with this
};

class PathEllipsis : public ::testing::TestWithParam<EllipsisCase> {};

TEST_P(PathEllipsis, KeepsStartAndFileNameAtTheLabelsWidth)
{
    TBevelLabel label(nullptr);
    makeOutputNameLabel(label);
    const QString path = QString::fromUtf8(GetParam().path);
    label.SetCaption(path);
    const QFontMetrics metrics(label.font());
    const int room = label.TextRect().width();
    EXPECT_EQ(room, 329 - 4);
    const QString shown = label.DisplayedText();
    EXPECT_EQ(label.Caption(), path) << "the caption itself stays whole";
    EXPECT_LE(advance(metrics, shown), room);
    EXPECT_TRUE(shown.startsWith(QString::fromUtf8(GetParam().head))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QString::fromUtf8(GetParam().tail))) << shown.toStdString();
    if (shown != path) {
        EXPECT_TRUE(shown.contains(QStringLiteral("...")));
        // As much of the start as fits: one more character would not.
        const qsizetype dots = shown.indexOf(QStringLiteral("..."));
        const qsizetype cut = qMax(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
        if (shown.endsWith(path.mid(cut)) && dots < cut) {
            const QString longer = path.left(dots + 1) + QStringLiteral("...") + path.mid(cut);
            EXPECT_GT(advance(metrics, longer), room);
        }
    } else {
        EXPECT_LE(advance(metrics, path), room);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathEllipsis,
    ::testing::Values(
        EllipsisCase{"fits", "/home/ann/out (XLS).csv", "/home/ann/out (XLS).csv", "/home/ann/out (XLS).csv"},
        EllipsisCase{"longPath",
                     "/home/ann/measurements/campaign 2024/station north/week 12/raw/run-0815 (XLS).csv",
                     "/home/ann/", "/run-0815 (XLS).csv"},
        EllipsisCase{"backslashes",
                     "C:\\Documents and Settings\\ann\\My Documents\\Measurements\\2024\\North\\run-0815 (XLS).csv",
                     "C:\\Documents", "\\run-0815 (XLS).csv"},
        EllipsisCase{"ampersand", "/home/ann/R&D/very long folder name for the R&D department data/a&b (XLS).csv",
                     "/home/ann/R&D", "/a&b (XLS).csv"},
        EllipsisCase{"fileNameTooLong",
                     "/x/an extremely long file name that cannot possibly fit into the label at all (XLS).csv",
                     ".../an extremely", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BevelLabel, PathEllipsisWithoutFolderKeepsBothEnds)
{
    const QFontMetrics metrics(pixelFont(QStringLiteral("DejaVu Sans"), 13));
    const QString name = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    const QString shown = TBevelLabel::PathEllipsis(name, metrics, advance(metrics, name) / 2);
    EXPECT_TRUE(shown.startsWith(u'a'));
    EXPECT_TRUE(shown.endsWith(u'9'));
    EXPECT_LE(advance(metrics, shown), advance(metrics, name) / 2);
}

TEST(BevelLabel, AutoSizeIsTextExtentPlusFramePadding)
{
    struct Case {
        QString caption;
        TBevelMode mode;
        int pad;
    };
    const QFont font = pixelFont(QStringLiteral("DejaVu Sans"), 17);
    const QFontMetrics metrics(font);
    for (const Case& c : {Case{QStringLiteral("header of PE file"), bmEdge, 6},
                          Case{QStringLiteral("a\tb"), bmEdge, 6},
                          Case{QStringLiteral("&header"), bmEdge, 6},
                          Case{QString(), bmEdge, 6},
                          Case{QStringLiteral("line"), bmStandard, 2}}) {
        TBevelLabel label(nullptr);
        label.move(33, 32);
        label.setFont(font);
        label.Bevel()->SetMode(c.mode);
        label.SetCaption(c.caption);
        const QString measured = c.caption.isEmpty() ? QStringLiteral(" ") : c.caption;
        const QSize extent = metrics.size(Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic, measured);
        EXPECT_EQ(label.size(), extent + QSize(c.pad, c.pad)) << c.caption.toStdString();
        EXPECT_EQ(label.pos(), QPoint(33, 32));
    }
}

TEST(BevelLabel, AutoSizeFollowsCaptionFontAndTabs)
{
    TBevelLabel label(nullptr);
    label.setFont(pixelFont(QStringLiteral("DejaVu Sans"), 17));
    label.SetCaption(QStringLiteral("a b"));
    const int spaced = label.width();
    label.SetCaption(QStringLiteral("a\tb"));
    EXPECT_GT(label.width(), spaced) << "tabs are expanded";
    const int tabbed = label.width();
    label.setFont(pixelFont(QStringLiteral("DejaVu Sans"), 30));
    EXPECT_GT(label.width(), tabbed);
    label.SetAutoSize(false);
    const QSize fixed = label.size();
    label.SetCaption(QStringLiteral("a much longer caption than before"));
    EXPECT_EQ(label.size(), fixed);
    label.SetAutoSize(true);
    EXPECT_GT(label.width(), fixed.width());
}

QImage render(const QString& caption, bool showAccel)
{
    TBevelLabel label(nullptr);
    label.setFont(pixelFont(QStringLiteral("DejaVu Sans"), 17));
    label.SetShowAccelChar(showAccel);
    label.SetCaption(caption);
    label.SetAutoSize(false);
    label.resize(80, 27);
    label.SetTransparent(false);
    return label.grab().toImage();
}

TEST(BevelLabel, AcceleratorMarkUnderlinesAndDoubleAmpersandShowsOne)
{
    // "&&G" with accelerators shows "&G": the same as "&G" drawn literally.
    EXPECT_EQ(render(QStringLiteral("&&G"), true), render(QStringLiteral("&G"), false));
    // "&G" shows an underlined "G", which differs from a plain "G" only
    // below the letter.
    const QImage underlined = render(QStringLiteral("&G"), true);
    const QImage plain = render(QStringLiteral("G"), false);
    ASSERT_EQ(underlined.size(), plain.size());
    int firstDiff = -1;
    for (int y = 0; y < plain.height() && firstDiff < 0; ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (underlined.pixel(x, y) != plain.pixel(x, y)) {
                firstDiff = y;
                break;
            }
        }
    }
    const QFontMetrics metrics(pixelFont(QStringLiteral("DejaVu Sans"), 17));
    EXPECT_GE(firstDiff, metrics.ascent() - 2) << "the difference lies under the letter";
    // Literal mode shows the ampersand itself.
    EXPECT_NE(render(QStringLiteral("&G"), false), plain);
}

TEST(BevelLabel, OpaqueFillAndEtchedFrame)
{
    TBevelLabel label(nullptr);
    makeOutputNameLabel(label);
    label.SetCaption(QStringLiteral("Filename"));
    const QImage image = label.grab().toImage();
    const QPalette pal = label.palette();
    EXPECT_EQ(image.pixel(0, 0), pal.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(1, 1), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(328, 26), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(327, 25), pal.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(300, 13), QColor(191, 205, 219).rgb());
    saveScreenshot(label, QStringLiteral("bevel_label_filename"));
    label.SetCaption(QStringLiteral("/home/ann/measurements/campaign 2024/station north/week 12/raw/run-0815 (XLS).csv"));
    saveScreenshot(label, QStringLiteral("bevel_label_path_ellipsis"));
}

TEST(BevelLabel, HeaderLabelScreenshots)
{
    FontSetup::SetUpFonts();
    TBevelLabel label(nullptr);
    label.setFont(pixelFont(QStringLiteral("Tahoma"), 17));
    label.SetTransparent(false);
    label.SetColor(QColor(191, 205, 219));
    label.Bevel()->SetMode(bmEdge);
    label.SetCaption(QStringLiteral("header of PE file"));
    saveScreenshot(label, QStringLiteral("bevel_label_header"));
    label.SetCaption(QStringLiteral("Time;R&D value;x&&y\tz"));
    saveScreenshot(label, QStringLiteral("bevel_label_accel_tab"));
}

TEST(BevelLabel, ClickRaisesOnClickOnceInside)
{
    TBevelLabel label(QStringLiteral("link"), nullptr);
    QSignalSpy spy(&label, &TBevelLabel::OnClick);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_EQ(spy.count(), 1);
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_EQ(spy.count(), 1);
}

TEST(BevelLabel, EndEllipsisCutsTheEnd)
{
    TBevelLabel label(nullptr);
    label.setFont(pixelFont(QStringLiteral("DejaVu Sans"), 13));
    label.SetAutoSize(false);
    label.resize(80, 20);
    label.SetOptions(loEndEllipsis);
    label.SetCaption(QStringLiteral("a caption that is far too long"));
    const QString shown = label.DisplayedText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("a cap")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("...")));
    EXPECT_LE(advance(QFontMetrics(label.font()), shown), 80);
}

} // namespace
