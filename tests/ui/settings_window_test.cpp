#include "WindowFixture.h"

#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TBevelLabel.h"
#include "TRememberedBoxes.h"
#include "TReplacementRow.h"
#include "TSettingsButtons.h"
#include "TSettingsFile.h"
#include "TTabSheet.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const std::string kDay1 = "Time,Value,Unit\r\n12:00:00,1.5,V\r\n12:00:05,2.5,V\r\n";
const QString kResting =
    QStringLiteral("Type each separator's replacement; the line above shows the result.");

std::vector<std::string> Texts(const std::vector<TBevelEdit*>& boxes)
{
    std::vector<std::string> texts;
    for (const TBevelEdit* box : boxes)
        texts.push_back(box->Text());
    return texts;
}

// The window with a configuration folder of its own, which outlives it.
class SettingsWindowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(dir_.filePath(QStringLiteral("config"))));
        platform_.ConfigFolder = dir_.filePath(QStringLiteral("config"));
        WindowFixture::SetUp();
    }
    void SetBox(const std::vector<TBevelEdit*>& row, std::size_t k, const QString& text)
    {
        ClickInto(row.at(k));
        row.at(k)->selectAll();
        Type(text);
    }
    // A conversion of `name` with the first header box and the second data
    // box changed and the relative time column on.
    void ConvertWithChangedBoxes(const QString& name)
    {
        ChooseThroughDialog(WritePe(name, kDay1));
        ClickInto(window_->cb_RelativeTimeSeperator);
        ClickTab(1);
        SetBox(window_->HeaderEdits(), 0, QStringLiteral(";"));
        ClickTab(2);
        SetBox(window_->LineEdits(), 1, QStringLiteral("|"));
        QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
        Settle();
        ASSERT_EQ(platform_.MessageBoxes.size(), 0u);
    }
    TSettingsButtons& Buttons() const { return *window_->SettingsButtons; }
};

} // namespace

TEST_F(SettingsWindowTest, GoRemembersTheBoxesAndTheyComeBackForTheSameHeaderAfterARestart)
{
    ConvertWithChangedBoxes(QStringLiteral("day1.pe"));
    NewWindow();
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> header, data;
        bool relativeTime;
        QString hint;
    };
    const std::vector<Case> cases = {
        {"SameHeader", "Time,Value,Unit\r\n13:00:00,7,V\r\n", {";", ","}, {",", "|"}, true,
         QStringLiteral("Boxes as in your conversion of ")},
        {"OtherHeader", "Zeit,Wert,Unit\r\n13:00:00,7,V\r\n", {",", ","}, {",", ","}, false, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        ChooseThroughDialog(WritePe(QStringLiteral("day2.pe"), c.bytes));
        ClickTab(1);
        EXPECT_EQ(Texts(window_->HeaderEdits()), c.header);
        EXPECT_EQ(Texts(window_->LineEdits()), c.data);
        EXPECT_EQ(window_->cb_RelativeTimeSeperator->Checked(), c.relativeTime);
        EXPECT_EQ(window_->HeaderRow().Note().left(c.hint.size()), c.hint);
        EXPECT_EQ(window_->LineRow().Note().left(c.hint.size()), c.hint);
        // The first box takes the focus as the page opens; the note stays.
        EXPECT_EQ(window_->lbl_HeaderHint->Caption().left(c.hint.size()), c.hint);
    }
    // The menu's restore still means the plain separators, and the note goes.
    NewWindow();
    ChooseThroughDialog(WritePe(QStringLiteral("day3.pe"), kDay1));
    ClickTab(1);
    window_->HeaderRow().RestoreSeparators(window_->HeaderEdits()[0]);
    EXPECT_EQ(Texts(window_->HeaderEdits()), (std::vector<std::string>{",", ","}));
    EXPECT_EQ(window_->HeaderRow().Note(), QString());
    EXPECT_EQ(window_->HeaderRow().RestingHint(), kResting);
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));
}

TEST_F(SettingsWindowTest, SavedSettingsOpenForTheSameSeparatorCountOnly)
{
    ChooseThroughDialog(WritePe(QStringLiteral("lab.pe"), kDay1));
    ClickInto(window_->cb_RelativeTimeSeperator);
    ClickTab(1);
    SetBox(window_->HeaderEdits(), 1, QStringLiteral("#"));
    ClickTab(0);
    const QString saved = dir_.filePath(QStringLiteral("lab.ini"));
    platform_.QueueSaveAnswer(saved);
    QTest::mouseClick(Buttons().btn_SaveSettings, Qt::LeftButton);
    Settle();
    ASSERT_EQ(platform_.MessageBoxes.size(), 0u);
    const morvane::TSavedSettings file = morvane::TSettingsFile::Load(saved.toStdString());
    EXPECT_EQ(file.Conversion.HeaderReplacements, (std::vector<std::string>{",", "#"}));
    EXPECT_EQ(file.Conversion.RelativeTime, true);
    EXPECT_EQ(file.HeaderSeparators, std::optional<std::size_t>(2));
    EXPECT_EQ(file.Header, "Time,Value,Unit");

    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> header;
        bool relativeTime;
        std::size_t boxes;
    };
    const std::vector<Case> cases = {
        {"SameCount", "A,B,C\r\n1,2,3\r\n", {",", "#"}, true, 0},
        {"OtherCount", "A,B,C,D\r\n1,2,3,4\r\n", {",", ",", ","}, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        ChooseThroughDialog(WritePe(QStringLiteral("night.pe"), c.bytes));
        platform_.QueueOpenAnswer(saved);
        QTest::mouseClick(Buttons().btn_OpenSettings, Qt::LeftButton);
        Settle();
        ASSERT_EQ(platform_.MessageBoxes.size(), c.boxes);
        if (c.boxes > 0) {
            EXPECT_EQ(platform_.MessageBoxes[0].Text,
                      QStringLiteral("lab.ini was made for a header with 2 separators, but the header of this PE "
                                     "file has 3. Nothing was changed."));
        }
        EXPECT_EQ(window_->cb_RelativeTimeSeperator->Checked(), c.relativeTime);
        ClickTab(1);
        EXPECT_EQ(Texts(window_->HeaderEdits()), c.header);
    }
}

// Opened settings once outlived a run made after them: the next file with
// that header came back with the file's boxes, the relative time column off.
TEST_F(SettingsWindowTest, ARunAfterOpenedSettingsIsWhatTheNextFileWithThatHeaderGets)
{
    ChooseThroughDialog(WritePe(QStringLiteral("lab.pe"), kDay1));
    ClickTab(1);
    SetBox(window_->HeaderEdits(), 0, QStringLiteral("!"));
    ClickTab(0);
    const QString saved = dir_.filePath(QStringLiteral("lab.ini"));
    platform_.QueueSaveAnswer(saved);
    QTest::mouseClick(Buttons().btn_SaveSettings, Qt::LeftButton);

    NewWindow();
    ChooseThroughDialog(WritePe(QStringLiteral("a.pe"), kDay1));
    platform_.QueueOpenAnswer(saved);
    QTest::mouseClick(Buttons().btn_OpenSettings, Qt::LeftButton);
    ClickTab(1);
    SetBox(window_->HeaderEdits(), 1, QStringLiteral("+"));
    ClickTab(0);
    ClickInto(window_->cb_RelativeTimeSeperator);
    ClickTab(2);
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    Settle();
    ASSERT_EQ(platform_.MessageBoxes.size(), 0u);

    ChooseThroughDialog(WritePe(QStringLiteral("b.pe"), "Time,Value,Unit\r\n14:00:00,3,V\r\n"));
    ClickTab(1);
    EXPECT_EQ(Texts(window_->HeaderEdits()), (std::vector<std::string>{"!", "+"}));
    EXPECT_EQ(window_->cb_RelativeTimeSeperator->Checked(), true);
    EXPECT_EQ(window_->HeaderRow().Note().left(31), QStringLiteral("Boxes as in your conversion of "));
}

TEST_F(SettingsWindowTest, DamagedSettingsFileIsReportedAndChangesNothing)
{
    ChooseThroughDialog(WritePe(QStringLiteral("lab.pe"), kDay1));
    const QString bad = WritePe(QStringLiteral("bad.ini"), "morvane-settings 1\nseparators=;\nrelative-time=on\nx=1\n");
    platform_.QueueOpenAnswer(bad);
    QTest::mouseClick(Buttons().btn_OpenSettings, Qt::LeftButton);
    Settle();
    ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform_.MessageBoxes[0].Text,
              QStringLiteral("The settings file \"") + QDir::toNativeSeparators(bad) +
                  QStringLiteral("\", line 4: unknown key \"x\""))
        << platform_.MessageBoxes[0].Text.toStdString();
    EXPECT_EQ(window_->ed_Seperator->Text(), ",");
    EXPECT_EQ(window_->cb_RelativeTimeSeperator->Checked(), false);
    // The buttons lie whole on page 1, under its last control.
    const QRect page = window_->TabSheet4->rect();
    EXPECT_EQ(page.contains(Buttons().btn_OpenSettings->geometry()), true);
    EXPECT_EQ(page.contains(Buttons().btn_SaveSettings->geometry()), true);
}
