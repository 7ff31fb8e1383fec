#include "platform/drives/Drives.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using testsupport::CProgramResult;

constexpr std::size_t kSector = 512;
constexpr const char* kNtfsList = "0,16,229,3,0,0,0,0";
constexpr const char* kPrompt =
    "Press the Enter key, or press the Ctrl-Alt-Del keys to reboot the system.\n"
    "The partition will be useable when the system fully boots up.\n";

using testsupport::SectorPattern;

class KeldrunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mkdir(m_reportFolder.c_str(), 0755), 0); }

    // An image file assigned to letter, holding content.
    std::string Drive(char letter, const std::string& content)
    {
        std::string path = m_machine.Path(std::string(1, letter) + ".img");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        Assign(letter, path);
        return path;
    }
    void Assign(char letter, const std::string& path)
    {
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }

    CProgramResult Keldrun(std::vector<std::string> args, const std::string& input = "\n")
    {
        args.insert(args.begin(), KELDRUN_PATH);
        return testsupport::RunCaptured(args, input, m_machine.Root());
    }
    std::optional<std::string> Read(const std::string& path) const { return platform::ReadWholeFile(path); }
    std::optional<std::string> Status() const { return Read(m_reportFolder + "status.txt"); }
    std::optional<std::string> ShutdownLog() const { return Read(m_machine.Path("shutdown.log")); }

    testsupport::CTempMachine m_machine;
    std::string m_reportFolder = m_machine.Path("Vantrel/");
};

TEST_F(KeldrunTest, ACompletedCloneReportsWaitsForEnterAndRequestsTheRestart)
{
    const std::string source = SectorPattern(50 << 20);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(50 << 20, '\0'));

    CProgramResult run = Keldrun({"X:", "Y:", "NTFS", kNtfsList, "1", m_reportFolder});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, std::string("20,971,520 total accumulated bytes written to the partition...\n"
                                     "41,943,040 total accumulated bytes written to the partition...\n"
                                     "52,428,800 total accumulated bytes written to the partition...\n"
                                     "\n"
                                     "Succesfully created the Y: partition clone.\n"
                                     "Total bytes copied to the partition: 52,428,800\n"
                                     "\n") +
                             kPrompt);
    EXPECT_EQ(run.m_err, "");
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: NTFS\n\n20971520\n41943040\n52428800\nDone => 52428800\n");
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");

    std::string expected = source;
    expected.replace(40, 8, std::string("\x00\x10\xE5\x03\x00\x00\x00\x00", 8));
    EXPECT_TRUE(Read(dest) == expected) << "the copy differs from the source beyond bytes 40 to 47";
}

TEST_F(KeldrunTest, AFifthArgumentWithoutDigitsSelectsSlowModeWithALinePerSector)
{
    const std::string source = SectorPattern(8 * kSector);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "x1", m_reportFolder, "ignored"});
    std::string progress;
    for (const char* total : {"512", "1,024", "1,536", "2,048", "2,560", "3,072", "3,584", "4,096"})
        progress += std::string(total) + " total accumulated bytes written to the partition...\n";
    EXPECT_EQ(run.m_out, progress +
                             "\nSuccesfully created the Y: partition clone.\n"
                             "Total bytes copied to the partition: 4,096\n\n" +
                             kPrompt);
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT32\n\nDone => 4096\n");
    EXPECT_EQ(Read(dest), source);
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
}

TEST_F(KeldrunTest, MissingArgumentsTouchNothing)
{
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));
    Drive('X', SectorPattern(8 * kSector));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1"});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_EQ(run.m_out, "");
    EXPECT_NE(run.m_err.find("Partition Restore => Missing arguments."), std::string::npos) << run.m_err;
    EXPECT_EQ(Read(dest), std::string(8 * kSector, '\0'));
    EXPECT_FALSE(ShutdownLog());
}

TEST_F(KeldrunTest, FailedClonesShowTheirMessageAndDoNotRestart)
{
    Drive('X', SectorPattern(8 * kSector));
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));

    CProgramResult unassigned = Keldrun({"X:", "Z:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    EXPECT_EQ(unassigned.m_exitCode, 0);
    EXPECT_EQ(unassigned.m_out, "");
    EXPECT_NE(unassigned.m_err.find("CCreateClone::CloneDrive => Cannot open drive partition to clone to!"),
              std::string::npos)
        << unassigned.m_err;
    EXPECT_FALSE(Status());

    CProgramResult unknown = Keldrun({"X:", "Y:", "FAT16", "1,2,3,4,", "0", m_reportFolder});
    EXPECT_EQ(unknown.m_exitCode, 0);
    EXPECT_EQ(unknown.m_out, "");
    EXPECT_NE(unknown.m_err.find("Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: FAT16"),
              std::string::npos)
        << unknown.m_err;
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT16\n\n");
    EXPECT_EQ(Read(dest), std::string(8 * kSector, '\0'));
    EXPECT_FALSE(ShutdownLog());
}

TEST_F(KeldrunTest, AReportFolderThatDoesNotExistDoesNotStopTheClone)
{
    const std::string source = SectorPattern(8 * kSector);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_machine.Path("nowhere/")});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_NE(run.m_out.find("Succesfully created the Y: partition clone.\n"), std::string::npos) << run.m_out;
    EXPECT_FALSE(platform::FileExists(m_machine.Path("nowhere")));
    EXPECT_EQ(Read(dest), source);
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
}

// Ctrl-Alt-Del at boot sends SIGTERM: the sector being copied is finished, the report and
// the console say the copy is incomplete, and Keldrun ends with the signal, without the
// restart. Standard output is a pipe that is read only after the signal was sent, so the
// clone is held in the middle of its first MiB (a line per sector) when the signal comes.
TEST_F(KeldrunTest, ASignalToEndStopsTheCloneWithARecordOfTheIncompleteCopy)
{
    const std::string source = SectorPattern(16 << 20);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(16 << 20, '\0'));

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    std::string output;
    char chunk[4096];
    ssize_t n = read(out[0], chunk, sizeof chunk);
    ASSERT_GT(n, 0);
    output.append(chunk, static_cast<std::size_t>(n));
    kill(pid, SIGTERM);
    while ((n = read(out[0], chunk, sizeof chunk)) > 0)
        output.append(chunk, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;

    const std::string interrupted =
        "Clone interrupted by signal 15.  The copy on the Y: partition is incomplete and will be unusable.";
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT32\n\n" + interrupted + "\n");
    EXPECT_TRUE(output.ends_with("1,048,576 total accumulated bytes written to the partition...\n\n" + interrupted +
                                 "\n"))
        << output.substr(output.size() - std::min<std::size_t>(output.size(), 300));
    std::string expected = std::string(16 << 20, '\0');
    expected.replace(0, 1 << 20, source.substr(0, 1 << 20));
    EXPECT_TRUE(Read(dest) == expected) << "more or less than the first MiB was copied";
    EXPECT_FALSE(ShutdownLog());
}

#ifdef BADSECTORFS_PATH

// An image served through the FUSE file system with unreadable sectors, mounted for the
// life of the object when the machine allows it.
class CBadSectorMount {
public:
    CBadSectorMount(const std::string& mountPoint, const std::string& backing, std::vector<std::string> badSectors)
        : m_mountPoint(mountPoint)
    {
        if (access("/dev/fuse", R_OK | W_OK) != 0 || mkdir(mountPoint.c_str(), 0755) != 0)
            return;
        std::vector<std::string> args{BADSECTORFS_PATH, mountPoint, backing};
        args.insert(args.end(), badSectors.begin(), badSectors.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = 0;
            return;
        }
        // The mount is ready when the image shows; a file system that never comes up
        // (or exits) means FUSE cannot be used here.
        for (int attempt = 0; attempt < 200 && !Mounted(); ++attempt) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = 0;
                return;
            }
            usleep(25000);
        }
    }
    ~CBadSectorMount()
    {
        if (m_pid == 0)
            return;
        testsupport::RunCaptured({"/usr/bin/fusermount3", "-u", m_mountPoint}, "", m_mountPoint + "/..");
        if (waitpid(m_pid, nullptr, WNOHANG) == 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    bool Mounted() const { return m_pid != 0 && platform::FileExists(Image()); }
    std::string Image() const { return m_mountPoint + "/disk.img"; }

private:
    std::string m_mountPoint;
    pid_t m_pid = 0;
};

TEST_F(KeldrunTest, UnreadableSectorsOfARealFileAreSkippedAndListed)
{
    const std::string source = SectorPattern(64 * kSector);
    std::string backing = m_machine.Path("backing.img");
    std::ofstream(backing, std::ios::binary) << source;
    CBadSectorMount mount(m_machine.Path("mnt"), backing, {"10", "11", "63"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('X', mount.Image());
    std::string dest = Drive('Y', std::string(64 * kSector, '\x55'));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_NE(run.m_out.find("Total bytes copied to the partition: 31,232\n\n"
                             "Bad sectors were found and were skipped.  See status.txt for details.\n"),
              std::string::npos)
        << run.m_out;
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT32\n\n"
                        "Error#: 5.  Skipping bad sector at location: 10 on partition X:\n"
                        "Error#: 5.  Skipping bad sector at location: 11 on partition X:\n"
                        "Error#: 5.  Skipping bad sector at location: 63 on partition X:\n"
                        "Done => 31232\n");
    std::string expected = source;
    expected.replace(10 * kSector, 2 * kSector, std::string(2 * kSector, '\x55'));
    expected.replace(63 * kSector, kSector, std::string(kSector, '\x55'));
    EXPECT_TRUE(Read(dest) == expected) << "the copy is not aligned with the source";
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
}

#endif

}  // namespace
