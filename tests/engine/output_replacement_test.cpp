#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "ConvertFile.h"
#include "EInOutError.h"
#include "RecordingSink.h"
#include "TLineWriter.h"
#include "TOsFile.h"
#include "TOutputReplacement.h"
#include "TempFiles.h"

namespace morvane {
namespace {

using test::Leftovers;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// Whatever stands at the new file's name when the run is done, only the
// file made for the run and holding what it wrote takes the output's place.
TEST(OutputReplacement, CommitPutsInPlaceOnlyTheFileTheRunWrote)
{
    struct Case {
        const char* What;
        // Done to the new file after the run closed it; gives the size the
        // run says it wrote, or -1 when it cannot say.
        std::function<std::int64_t(const std::string& path, std::int64_t written)> After;
        bool Replaced;
        bool Removed; // the new file is gone afterwards
    };
    const std::vector<Case> cases = {
        {"the run's own file", [](const std::string&, std::int64_t n) { return n; }, true, true},
        {"the run's own file, size not counted", [](const std::string&, std::int64_t) { return -1; }, true, true},
        {"another file put at its name",
         [](const std::string& path, std::int64_t n) {
             // Made while the run's file still exists, so that it cannot
             // get the run's file's number again.
             WriteBytes(path + ".other", std::string(static_cast<std::size_t>(n), 'x'));
             std::filesystem::rename(test::PathOf(path + ".other"), test::PathOf(path));
             return n;
         },
         false, false},
        {"bytes added behind the run's", 
         [](const std::string& path, std::int64_t n) {
             WriteBytes(path, ReadBytes(path) + "more");
             return n;
         },
         false, true},
        {"left empty, the writes gone elsewhere",
         [](const std::string& path, std::int64_t) {
             WriteBytes(path, "");
             return -1;
         },
         false, true},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string output = folder / "out.csv";
        WriteBytes(output, "earlier\r\n");
        std::string newFile;
        std::string raised;
        {
            TOutputReplacement replacement(output);
            newFile = replacement.WritePath();
            TLineWriter writer;
            writer.Open(replacement.WritePath(), {}, output, replacement.WritesNewFile());
            writer.WriteLine("new");
            writer.Close();
            const std::int64_t size = c.After(newFile, writer.BytesWritten());
            try {
                replacement.Commit(size);
            } catch (const EInOutError& e) {
                raised = e.Message();
            }
        }
        EXPECT_EQ(ReadBytes(output), c.Replaced ? "new\r\n" : "earlier\r\n") << c.What;
        EXPECT_EQ(raised.empty(), c.Replaced) << c.What << ": " << raised;
        EXPECT_EQ(raised.rfind("Cannot replace the output file \"" + output + "\": the new file \"" + newFile +
                                   "\" is not the one this run wrote",
                               0) == 0,
                  !c.Replaced)
            << c.What << ": " << raised;
        EXPECT_EQ(std::filesystem::exists(test::PathOf(newFile)), !c.Removed) << c.What;
    }
}

#ifndef _WIN32
// A folder where nothing new can be made, even by root, holding an output
// that can still be written: the folder is mounted read-only over itself,
// the output file mounted writable over itself inside it. Needs root and
// mount; Mounted() says whether it came about.
class TFolderWithoutNewFiles {
public:
    TFolderWithoutNewFiles(const std::string& folder, const std::string& file, const std::string& bytes)
        : folder_(folder)
        , file_(folder + "/" + file)
    {
        std::filesystem::create_directory(test::PathOf(folder));
        WriteBytes(file_, bytes);
        mounted_ = Run("mount --bind '" + folder_ + "' '" + folder_ + "'");
        fileMounted_ = mounted_ && Run("mount --bind '" + file_ + "' '" + file_ + "'");
        mounted_ = fileMounted_ && Run("mount -o remount,bind,ro '" + folder_ + "'");
    }
    ~TFolderWithoutNewFiles()
    {
        if (fileMounted_)
            Run("umount '" + file_ + "'");
        Run("umount '" + folder_ + "'");
    }
    TFolderWithoutNewFiles(const TFolderWithoutNewFiles&) = delete;
    TFolderWithoutNewFiles& operator=(const TFolderWithoutNewFiles&) = delete;

    bool Mounted() const { return mounted_; }

private:
    static bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

    std::string folder_;
    std::string file_;
    bool mounted_ = false;
    bool fileMounted_ = false;
};

// An earlier output that can be written in a folder that takes no new file
// is built where temporary files go and copied over only by a run that
// succeeded; where even that folder takes none, nothing is written at all.
TEST(OutputReplacement, EarlierOutputInAFolderWithoutNewFilesIsKeptByARunThatFails)
{
    TempFolder folder;
    const std::string earlier = "PRIOR\r\n";
    TFolderWithoutNewFiles locked(folder / "ro", "out.csv", earlier);
    if (!locked.Mounted())
        GTEST_SKIP() << "cannot mount a read-only folder here (needs root)";
    const std::string output = folder / "ro/out.csv";
    ASSERT_EQ(::chmod(output.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(output.c_str(), &before), 0);
    const std::string temporary = folder / "tmp";
    std::filesystem::create_directory(test::PathOf(temporary));
    WriteBytes(folder / "good.pe", "T,A\r\n12:00:00,1\r\n12:00:01,2\r\n");
    WriteBytes(folder / "bad.pe", "T,A\r\n12:00:00,1\r\nxx,2\r\n");

    struct Case {
        const char* Input;
        std::string TemporaryFolder;
        std::string Output; // what the output holds afterwards
        std::string Message;
    };
    const std::vector<Case> cases = {
        {"good.pe", temporary, "relTime; T,A\r\n0;12:00:00,1\r\n1;12:00:01,2\r\n", ""},
        {"bad.pe", temporary, earlier, "'xx,2' is not a valid time"},
        {"good.pe", folder / "missing",  earlier,
         "Cannot create the output file \"" + output + "\": " + TOsFile::ErrorText(EROFS) +
             "; nor can a new output be made in the folder for temporary files \"" + folder / "missing" +
             "\": " + TOsFile::ErrorText(ENOENT)},
    };
    const char* const previous = std::getenv("TMPDIR");
    const std::string kept = previous ? previous : "";
    for (const Case& c : cases) {
        WriteBytes(output, earlier);
        setenv("TMPDIR", c.TemporaryFolder.c_str(), 1);
        std::string raised;
        try {
            TConversionSettings settings;
            settings.RelativeTime = true;
            test::TRecordingSink sink;
            ConvertFile(folder / c.Input, output, settings, sink);
        } catch (const Exception& e) {
            raised = e.Message();
        }
        EXPECT_EQ(raised, c.Message) << c.Input;
        EXPECT_EQ(ReadBytes(output), c.Output) << c.Input;
        EXPECT_EQ(Leftovers(temporary), "") << c.Input;
        // Copied over, not replaced: the output keeps its inode and mode.
        struct stat after {};
        ASSERT_EQ(::stat(output.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << c.Input;
        EXPECT_EQ(after.st_mode & 0777, 0640u) << c.Input;
    }
    previous ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
}
#endif

} // namespace
} // namespace morvane
