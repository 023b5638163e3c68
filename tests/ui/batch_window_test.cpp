#include "WindowFixture.h"

#include "TBatchRun.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TBevelLabel.h"
#include "TConversionRun.h"
#include "TFileOpenEdit.h"
#include "TOutputFormatNote.h"
#include "TBatchSummary.h"
#include "TSegmentProgress.h"
#include "TTabSheet.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace {

const std::string kTwo = "Time,Value,Unit\r\n12:00:00,1.5,V\r\n12:00:05,2.5,V\r\n";

// A window with a configuration folder of its own, so runs are remembered.
class BatchTest : public WindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(dir_.filePath(QStringLiteral("config"))));
        platform_.ConfigFolder = dir_.filePath(QStringLiteral("config"));
        WindowFixture::SetUp();
    }
    // Several files through the PE file dialog, as Ctrl-click chooses them.
    void ChooseFiles(const QStringList& files)
    {
        platform_.QueueOpenAnswers(files);
        QTest::mouseClick(window_->FileOpenEdit1->BrowseButton(), Qt::LeftButton);
        Settle();
    }
    void ClickGo()
    {
        ClickTab(2);
        QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
        Settle();
    }
    QString OutputOf(const QString& name) const { return dir_.filePath(name + QStringLiteral(" (XLS).csv")); }
    QString Summary() const
    {
        return platform_.MessageBoxes.empty() ? QStringLiteral("<none>") : platform_.MessageBoxes.back().Text;
    }
};

} // namespace

TEST_F(BatchTest, SeveralFilesChosenInTheDialogShowTheFirstAndTypingOneGoesBackToOne)
{
    const QStringList files = {WritePe(QStringLiteral("d1.pe"), kTwo), WritePe(QStringLiteral("d2.pe"), kTwo),
                               WritePe(QStringLiteral("d3.pe"), kTwo)};
    ChooseFiles(files);
    ASSERT_EQ(platform_.OpenRequests.size(), 1u);
    EXPECT_EQ(platform_.OpenRequests[0].Options.testFlag(ofAllowMultiSelect), true);
    EXPECT_EQ(window_->FileOpenEdit1->Filename(), QDir::toNativeSeparators(files[0]));
    EXPECT_EQ(window_->Batch().Files().size(), 3);
    const QLabel* note = window_->Batch().Note();
    EXPECT_EQ(note->isVisible(), true);
    EXPECT_EQ(note->text(), QStringLiteral("3 files chosen: Go converts each.\n"
                                           "d1.pe, d2.pe, d3.pe; for one file, type or choose it"));
    // Whole: the line once ran past the label's edge.
    EXPECT_LE(QFontMetrics(note->font()).boundingRect(QRect(0, 0, 10000, 100), 0, note->text()).width(),
              note->width());
    // The note sits in empty space on page 1.
    for (const QWidget* other : window_->TabSheet4->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != note && other->isVisible()) {
            EXPECT_EQ(note->geometry().intersects(other->geometry()), false) << other->objectName().toStdString();
        }
    }
    ClickTab(2);
    EXPECT_EQ(window_->OutputFormat().Label()->text(),
              QStringLiteral("Go writes 3 CSV files, each beside its PE file."));
    Screenshot(QStringLiteral("20_batch_page3"));

    // Typing a name is one file again; so is choosing one.
    ClickInto(window_->FileOpenEdit1);
    window_->FileOpenEdit1->selectAll();
    Type(files[1]);
    EXPECT_EQ(window_->Batch().Active(), false);
    EXPECT_EQ(note->isVisible(), false);
    ChooseFiles(files);
    EXPECT_EQ(window_->Batch().Active(), true);
    ChooseFiles({files[2]});
    EXPECT_EQ(window_->Batch().Active(), false);
}

// Each file with the boxes remembered for its header, else those on screen
// when its header has as many separators, else skipped; a failure in one
// never stops the others.
TEST_F(BatchTest, EachFileTakesItsOwnRememberedBoxesOrTheScreensOrIsSkipped)
{
    // A run of another header with its own boxes, remembered.
    ChooseFiles({WritePe(QStringLiteral("other.pe"), "T;V\r\n12:00:00;1\r\n")});
    window_->ed_Seperator->SetText(",;");
    ClickTab(2);
    ClickInto(window_->LineEdits()[0]);
    window_->LineEdits()[0]->selectAll();
    Type(QStringLiteral("|"));
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    Settle();
    ASSERT_EQ(platform_.MessageBoxes.size(), 0u);

    const QStringList files = {
        WritePe(QStringLiteral("n1.pe"), kTwo),
        WritePe(QStringLiteral("n2.pe"), "T;V\r\n13:00:00;2\r\n"),
        WritePe(QStringLiteral("n3.pe"), "Time,Value,Unit,Extra\r\n12:00:00,1,V,x\r\n"),
        WritePe(QStringLiteral("n4.pe"), "Time,Value,Unit\r\n12:00:00,1,V\r\n12:3x:00,2,V\r\n"),
        WritePe(QStringLiteral("n5.pe"), ""),
        WritePe(QStringLiteral("n6.pe"), "Time,Value,Unit\r\n12:00:09,9,V\r\n"),
    };
    ChooseFiles(files);
    ClickInto(window_->cb_RelativeTimeSeperator);
    ClickTab(2);
    ClickInto(window_->LineEdits()[1]);
    window_->LineEdits()[1]->selectAll();
    Type(QStringLiteral("#"));
    platform_.Clear();
    ClickGo();

    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n1"))),
              "relTime; Time,Value,Unit\r\n0;12:00:00,1.5#V\r\n5;12:00:05,2.5#V\r\n");
    // Its header's own boxes, the relative time column as on screen.
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n2"))), "relTime; T;V\r\n0;13:00:00|2\r\n");
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n3"))), "<missing>");
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n4"))), "<missing>");
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n5"))), "<missing>");
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("n6"))), "relTime; Time,Value,Unit\r\n0;12:00:09,9#V\r\n");
    EXPECT_EQ(Summary(), QStringLiteral("6 files: 3 converted, 1 failed, 2 skipped\n"
                                        "n3.pe: skipped: its header has 3 separators, the boxes are for 2\n"
                                        "n4.pe: line 3: '12:3x:00' is not a valid time\n"
                                        "n5.pe: skipped: it has no header line"));
    EXPECT_EQ(platform_.MessageBoxes.size(), 1u);
    EXPECT_EQ(window_->progress_Excel->Caption(), QStringLiteral("failed"));

    // Each converted file's run is remembered for its header.
    NewWindow();
    ChooseFiles({WritePe(QStringLiteral("later.pe"), kTwo)});
    window_->ed_Seperator->SetText(",;");
    ClickTab(2);
    EXPECT_EQ(window_->LineEdits()[1]->Text(), "#");
    EXPECT_EQ(window_->cb_RelativeTimeSeperator->Checked(), true);
}

TEST_F(BatchTest, ExistingOutputsAreAskedAboutOnceReplacedSkippedOrLeftAlone)
{
    struct Case {
        const char* name;
        int answer;
        std::string first, second;
        QString summary;
    };
    const std::string converted = "Time,Value,Unit\r\n12:00:00,1.5,V\r\n12:00:05,2.5,V\r\n";
    const Case cases[] = {
        {"Replace", 0, converted, converted, QStringLiteral("3 files: 3 converted, 0 failed, 0 skipped")},
        {"SkipThose", 1, "earlier", converted,
         QStringLiteral("3 files: 2 converted, 0 failed, 1 skipped\nq1.pe: skipped: its output exists")},
        {"Cancel", 2, "earlier", "<missing>", QStringLiteral("<none>")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QStringList files = {WritePe(QStringLiteral("q1.pe"), kTwo), WritePe(QStringLiteral("q2.pe"), kTwo),
                                   WritePe(QStringLiteral("q3.pe"), kTwo)};
        QFile::remove(OutputOf(QStringLiteral("q2")));
        QFile::remove(OutputOf(QStringLiteral("q3")));
        WritePe(QStringLiteral("q1 (XLS).csv"), "earlier");
        ChooseFiles(files);
        platform_.Clear();
        platform_.QueueAskAnswer(c.answer);
        ClickGo();
        ASSERT_EQ(platform_.Questions.size(), 1u);
        EXPECT_EQ(platform_.Questions[0].Text, QStringLiteral("1 of the 3 outputs exist. Replace them?"));
        EXPECT_EQ(platform_.Questions[0].Buttons,
                  (QStringList{QStringLiteral("&Replace"), QStringLiteral("&Skip those"), QStringLiteral("Cancel")}));
        EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("q1"))), c.first);
        EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("q2"))), c.second);
        EXPECT_EQ(Summary(), c.summary);
    }
}

TEST_F(BatchTest, TwoFilesGivingOneOutputAreRefusedBeforeAnythingIsWritten)
{
    const QStringList files = {WritePe(QStringLiteral("run.pe"), kTwo), WritePe(QStringLiteral("run.dat"), kTwo),
                               WritePe(QStringLiteral("other.pe"), kTwo)};
    QFile::remove(OutputOf(QStringLiteral("other")));
    ChooseFiles(files);
    ClickGo();
    ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform_.MessageBoxes[0].Text,
              QStringLiteral("Nothing was converted:\nrun.pe and run.dat would both be written to ")
                  + QDir::toNativeSeparators(OutputOf(QStringLiteral("run"))));
    EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("other"))), "<missing>");
    EXPECT_EQ(platform_.Questions.size(), 0u);
}

TEST_F(BatchTest, AFolderChosenOnPage3TakesEveryOutputInTheFormatChosen)
{
    const QStringList files = {WritePe(QStringLiteral("f1.pe"), kTwo), WritePe(QStringLiteral("f2.pe"), kTwo)};
    const QString folder = dir_.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ChooseFiles(files);
    ClickTab(2);
    platform_.QueueSaveAnswer(QDir::toNativeSeparators(folder + QStringLiteral("/anything.xlsx")));
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 1u);
    EXPECT_EQ(platform_.SaveRequests[0].Title, QStringLiteral("Folder and format of the 2 outputs"));
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(),
              QDir::toNativeSeparators(folder + QStringLiteral("/f1 (XLS).xlsx")));
    EXPECT_EQ(window_->OutputFormat().Label()->text(),
              QStringLiteral("Go writes 2 Excel workbooks into the folder above, each named after its PE file."));
    // Its first line gives one cell: the question comes once for all.
    platform_.QueueAskAnswer(0);
    ClickGo();
    EXPECT_EQ(platform_.Questions.size(), 1u);
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/f1 (XLS).xlsx")).substr(0, 2), "PK");
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/f2 (XLS).xlsx")).substr(0, 2), "PK");
    EXPECT_EQ(Summary(), QStringLiteral("2 files: 2 converted, 0 failed, 0 skipped"));
}

// Esc stops the file being converted and converts no further one; closing
// the window does the same and shows no box.
TEST_F(BatchTest, EscOrCloseStopsTheBatchAndLeavesEveryEarlierOutput)
{
    const struct {
        const char* name;
        bool close;
        QString summary;
    } cases[] = {
        {"Esc", false, QStringLiteral("3 files: 0 converted, 0 failed, 0 skipped; stopped before the other 3")},
        {"Close", true, QStringLiteral("<none>")},
    };
    // The first file long enough that the run is still at it when the event
    // arrives, however busy the machine.
    std::string big = "Time,Value,Unit\r\n";
    for (int i = 0; i < 2'000'000; ++i)
        big += "12:00:00,1.5,V;x\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QStringList files = {WritePe(QStringLiteral("s1.pe"), big), WritePe(QStringLiteral("s2.pe"), kTwo),
                                   WritePe(QStringLiteral("s3.pe"), kTwo)};
        for (const QString& name : {QStringLiteral("s1"), QStringLiteral("s2"), QStringLiteral("s3")})
            QFile::remove(OutputOf(name));
        WritePe(QStringLiteral("s1 (XLS).csv"), "earlier");
        ChooseFiles(files);
        platform_.Clear();
        platform_.QueueAskAnswer(0);
        QObject::connect(&window_->ConversionRun(), &TConversionRun::started, window_.get(), [&] {
            if (c.close)
                window_->close();
            else
                QTest::keyClick(window_.get(), Qt::Key_Escape);
        });
        ClickGo();
        EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("s1"))), "earlier");
        EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("s2"))), "<missing>");
        EXPECT_EQ(ReadAll(OutputOf(QStringLiteral("s3"))), "<missing>");
        EXPECT_EQ(Summary(), c.summary);
        EXPECT_EQ(window_->isVisible(), !c.close);
    }
}

TEST(BatchSummaryTest, ShowsTheFirstReasonsAndCountsTheRest)
{
    morvane::TBatchSummary summary(25);
    for (int k = 0; k < 23; ++k)
        summary.Failed("f" + std::to_string(k) + ".pe", "Disk full");
    summary.Converted();
    summary.Skipped("s.pe", "its output exists");
    const std::string text = summary.Text(2);
    EXPECT_EQ(text, "25 files: 1 converted, 23 failed, 1 skipped\nf0.pe: Disk full\nf1.pe: Disk full\n"
                    "\xE2\x80\xA6 and 22 more\n");
}
