// SPDX-License-Identifier: GPL-3.0-or-later
#include "bootclone/BootTexts.h"
#include "clone/CloneTexts.h"
#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/BadSectorMount.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/KernelMount.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"
#include "tests/support/TwinNotes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
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

    // Runs Keldrun; the time its clone took is left out of its output (WithoutTimes).
    CProgramResult Keldrun(std::vector<std::string> args, const std::string& input = "\n")
    {
        args.insert(args.begin(), KELDRUN_PATH);
        CProgramResult run = testsupport::RunCaptured(args, input, m_machine.Root());
        run.m_out = testsupport::WithoutTimes(run.m_out);
        return run;
    }
    // The line before a copy of the images of X: and Y:.
    std::string Begins(std::uint64_t sourceBytes, std::uint64_t destBytes, bool fast) const
    {
        return boottexts::CloneBeginsLine("X: (" + m_machine.Path("X.img") + ")", sourceBytes,
                                          "Y: (" + m_machine.Path("Y.img") + ")", destBytes, fast) +
               "\n";
    }
    std::optional<std::string> Read(const std::string& path) const { return platform::ReadWholeFile(path); }
    std::optional<std::string> Status() const { return Read(m_reportFolder + "status.txt"); }
    std::optional<std::string> ShutdownLog() const { return Read(m_machine.Path("shutdown.log")); }
    std::string Journal() const { return Read(m_machine.Path("journal.log")).value_or(""); }

    testsupport::CTempMachine m_machine;
    std::string m_reportFolder = m_machine.Path("Vantrel/");
};

TEST_F(KeldrunTest, ACompletedCloneReportsWaitsForEnterAndRequestsTheRestart)
{
    const std::string source = SectorPattern(50 << 20);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(50 << 20, '\0'));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    EXPECT_EQ(run.m_exitCode, 0);
    // Both partitions are named before the copy; the time it took follows the total.
    const std::string begins = Begins(50 << 20, 50 << 20, true);
    EXPECT_EQ(begins, "Copying the X: (" + m_machine.Path("X.img") + ") partition (50.0 MiB) onto the Y: (" + dest +
                          ") partition (50.0 MiB) in fast mode.\n");
    EXPECT_EQ(run.m_out, begins +
                             "20,971,520 total accumulated bytes written to the partition...\n"
                             "41,943,040 total accumulated bytes written to the partition...\n"
                             "52,428,800 total accumulated bytes written to the partition...\n"
                             "\n"
                             "Succesfully created the Y: partition clone.\n"
                             "Total bytes copied to the partition: 52,428,800\n"
                             "\n"
                             "Time taken: T.\n" +
                             kPrompt);
    EXPECT_EQ(run.m_err, "");
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT32\n\n20971520\n41943040\n52428800\nDone => 52428800\n");
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
    const std::string journal = std::regex_replace(testsupport::WithoutTimes(Journal()),
                                                   std::regex("copy took [0-9]+ ms"), "copy took N ms");
    EXPECT_EQ(journal, "info Keldrun: cloning X: (" + m_machine.Path("X.img") + ") onto Y: (" + dest +
                           "), FAT32, fast mode; report " + m_reportFolder + "status.txt\n"
                           "info Keldrun: " + begins +
                           "notice Keldrun: Succesfully created the Y: partition clone.  Total bytes copied to the "
                           "partition: 52,428,800.  Time taken: T.  The copy took N ms.\n"
                           "notice Keldrun: restarting the machine\n");
    EXPECT_TRUE(Read(dest) == source) << "the copy differs from the source";
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
    EXPECT_EQ(run.m_out, Begins(8 * kSector, 8 * kSector, false) + progress +
                             "\nSuccesfully created the Y: partition clone.\n"
                             "Total bytes copied to the partition: 4,096\n\nTime taken: T.\n" +
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

// A partition that cannot be opened leaves its reason in the report and the journal:
// at boot no one may be at the console to read the message.
TEST_F(KeldrunTest, FailedClonesShowTheirMessageRecordWhyAndDoNotRestart)
{
    Drive('X', SectorPattern(8 * kSector));
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));
    const std::string cannotOpen = "CCreateClone::CloneDrive => Cannot open drive partition to clone to!";

    CProgramResult unassigned = Keldrun({"X:", "Z:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    EXPECT_EQ(unassigned.m_exitCode, 0);
    EXPECT_EQ(unassigned.m_out, "");
    // The message says why after its own text, and so do the report and the journal.
    EXPECT_NE(unassigned.m_err.find(cannotOpen + "\n\nZ: cannot be opened: No such file or directory\n"),
              std::string::npos)
        << unassigned.m_err;
    EXPECT_EQ(Status(), cannotOpen + "  Z: cannot be opened: No such file or directory\n");
    EXPECT_NE(Journal().find("err Keldrun: " + cannotOpen + "  Z: cannot be opened: No such file or directory\n"), std::string::npos)
        << Journal();

    // A destination that another program holds.
    int holder = open(dest.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    CProgramResult held = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    close(holder);
    // Who holds it is told by name and process.
    const std::string why = "Y: (" + dest + ") cannot be opened: " + std::strerror(EWOULDBLOCK) + ": it is open in " +
                            platform::ReadFirstLine("/proc/self/comm").value_or("") + " (process " +
                            std::to_string(getpid()) + ")";
    EXPECT_NE(held.m_err.find(cannotOpen + "\n\n" + why + "\n"), std::string::npos) << held.m_err;
    EXPECT_EQ(held.m_out, "");
    EXPECT_EQ(Status(), cannotOpen + "  " + why + "\n");

    CProgramResult unknown = Keldrun({"X:", "Y:", "FAT16", "1,2,3,4,", "0", m_reportFolder});
    EXPECT_EQ(unknown.m_exitCode, 0);
    EXPECT_EQ(unknown.m_out, Begins(8 * kSector, 8 * kSector, false));
    EXPECT_NE(unknown.m_err.find("Quorvane Error: Clone cancelled.\n\nUnknown file system on partition: FAT16"),
              std::string::npos)
        << unknown.m_err;
    EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: FAT16\n\n");
    EXPECT_EQ(Read(dest), std::string(8 * kSector, '\0'));
    EXPECT_FALSE(ShutdownLog());
}

// A destination that ends before the source is too small, not bad: slow mode would not
// help, and neither mode says it would.
TEST_F(KeldrunTest, ADestinationSmallerThanTheSourceIsToldSoInEitherMode)
{
    const std::string source = SectorPattern(30 << 20);
    Drive('X', source);
    std::string dest = Drive('Y', std::string(25 << 20, '\0'));
    // By how much: 5 MiB.
    const std::string tooSmall = DestinationTooSmallText(ENOSPC, "Y:", "X:", 25 << 20, 30 << 20);
    EXPECT_NE(tooSmall.find("5,242,880 (5.0 MiB) fewer than the 31,457,280 of the X: partition"), std::string::npos);

    for (const char* fast : {"1", "0"}) {
        SCOPED_TRACE(fast);
        CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", fast, m_reportFolder});
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_NE(run.m_err.find(tooSmall), std::string::npos) << run.m_err;
        EXPECT_EQ(run.m_err.find("Slow Mode"), std::string::npos) << run.m_err;
        EXPECT_EQ(run.m_out.find("Succesfully"), std::string::npos);
        EXPECT_EQ(Status(), std::string("From: X:\nTo:   Y:\nFile System: FAT32\n\n") +
                                (*fast == '1' ? "20971520\n" : "") + tooSmall + "\n");
        // Fast mode writes no part of a block that would run past the end.
        const std::size_t copied = *fast == '1' ? 20 << 20 : 25 << 20;
        EXPECT_TRUE(Read(dest) == source.substr(0, copied) + std::string((25 << 20) - copied, '\0'));
        EXPECT_FALSE(ShutdownLog());
    }
}

// A sparse image as large as the source on a file system that fills up first is no
// partition too small: the storage under it needs room.
TEST_F(KeldrunTest, ASparseImageOnAFullFileSystemIsNotCalledTooSmall)
{
    const std::string source = SectorPattern(30 << 20);
    Drive('X', source);
    testsupport::CKernelMount tmpfs("tmpfs", m_machine.Path("full"), "tmpfs", false, "size=16m");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Error();
    const std::string dest = m_machine.Path("full/Y.img");
    std::ofstream(dest, std::ios::binary);
    std::filesystem::resize_file(dest, 30 << 20);
    Assign('Y', dest);
    const std::string full = StorageFullText(ENOSPC, "Y:");

    for (const char* fast : {"1", "0"}) {
        SCOPED_TRACE(fast);
        CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", fast, m_reportFolder});
        EXPECT_NE(run.m_err.find(full), std::string::npos) << run.m_err;
        EXPECT_TRUE(Status().value_or("").ends_with(full + "\n")) << Status().value_or("");
        EXPECT_EQ(run.m_out.find("Succesfully"), std::string::npos);
        EXPECT_FALSE(ShutdownLog());
    }
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

    testsupport::CPipedRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder});
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.ReadUntil(1).empty());
    int status = run.Stop(SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    const std::string& output = run.Output();

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

// At boot the partitions' devices may not be there yet: Keldrun waits for them, up to its
// bound, and refuses with a report line when one does not come.
TEST_F(KeldrunTest, APartitionIsWaitedForAndOneThatNeverComesIsRefused)
{
    const std::string source = SectorPattern(8 * kSector);
    std::string sourcePath = Drive('X', source);
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));
    std::string away = m_machine.Path("away.img");
    std::filesystem::rename(sourcePath, away);

    {
        testsupport::CWaitBound bound(300);
        CProgramResult missing = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
        const std::string refusal = "Partition Restore => The X: (" + sourcePath +
                                    ") partition did not appear within 300 ms.  Its name is made by udev once the "
                                    "kernel has found the disk: is the disk connected?  The clone was not made.";
        EXPECT_EQ(missing.m_exitCode, 0);
        EXPECT_EQ(missing.m_out, boottexts::WaitingLine("X: (" + sourcePath + ")", std::chrono::seconds(0),
                                                        std::chrono::milliseconds(300)) +
                                     "\n");
        EXPECT_NE(missing.m_err.find(refusal), std::string::npos) << missing.m_err;
        EXPECT_EQ(Status(), refusal + "\n");
        EXPECT_NE(Journal().find("info Keldrun: waiting for the X: (" + sourcePath + ") partition to appear\n"
                                 "err Keldrun: " + refusal + "\n"),
                  std::string::npos)
            << Journal();
        EXPECT_EQ(Read(dest), std::string(8 * kSector, '\0'));
    }

    // The device comes while Keldrun waits. Before it, another image is put at its path:
    // it has not the letter's fingerprint, so it is waited past, never copied. Keldrun
    // looks letters up in the table as it was when it started: Y: stored meanwhile for
    // another image does not move the copy there.
    std::string elsewhere = m_machine.Path("elsewhere.img");
    std::ofstream(elsewhere, std::ios::binary) << std::string(8 * kSector, '\0');
    testsupport::CWaitBound bound(60'000);
    std::thread arrives([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::ofstream(sourcePath, std::ios::binary) << std::string(8 * kSector, 'I');
        std::string error;
        EXPECT_TRUE(platform::RemoveDriveLetter('Y', error)) << error;
        EXPECT_TRUE(platform::AssignDriveLetter('Y', elsewhere, error)) << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::filesystem::rename(away, sourcePath);
    });
    CProgramResult waited = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
    arrives.join();
    EXPECT_NE(waited.m_out.find("Succesfully created the Y: partition clone.\n"), std::string::npos) << waited.m_err;
    EXPECT_EQ(Read(dest), source);
    EXPECT_EQ(Read(elsewhere), std::string(8 * kSector, '\0'));
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
}

// Before the local file systems are mounted nothing should be; a partition mounted all
// the same (here in the simulated machine's mount table) is refused, saying where.
TEST_F(KeldrunTest, AMountedPartitionIsRefusedWithItsMountPoint)
{
    std::string source = Drive('X', SectorPattern(8 * kSector));
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));
    struct Mounted {
        const std::string& image;
        const char* drive;
        const char* mountPoint;
    };
    for (const Mounted& mounted : {Mounted{source, "X:", "/"}, Mounted{dest, "Y:", "/mnt/copy place"}}) {
        std::ofstream info(m_machine.Path("mountinfo"));
        std::string target = mounted.mountPoint;
        std::string escaped;
        for (char c : target)
            escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
        info << "21 1 0:19 / /proc rw,nosuid - proc proc rw\n"
             << "30 1 7:0 / " << escaped << " rw,relatime - vfat " << mounted.image << " rw\n";
        info.close();

        CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder});
        const std::string refusal = std::string("Partition Restore => The ") + mounted.drive + " (" + mounted.image +
                                    ") partition is mounted on " + mounted.mountPoint +
                                    ".  A mounted partition can change while it is copied: the clone was not made.";
        EXPECT_EQ(run.m_exitCode, 0);
        EXPECT_NE(run.m_err.find(refusal), std::string::npos) << run.m_err;
        EXPECT_EQ(Status(), refusal + "\n");
        EXPECT_NE(Journal().find("err Keldrun: " + refusal + "\n"), std::string::npos) << Journal();
        EXPECT_EQ(Read(dest), std::string(8 * kSector, '\0')) << mounted.drive;
        EXPECT_FALSE(ShutdownLog());
    }
}

// Keldrun on a terminal: standard input is a pseudo-terminal whose far end the test holds.
// Its output goes to a file, or with outputOnTerminal to the terminal too, as on the
// console at boot: a thread then copies what it draws into the file.
class CTerminalRun {
public:
    CTerminalRun(std::vector<std::string> args, const std::string& scratch, bool outputOnTerminal = false)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        std::string terminal = ptsname(m_master);
        m_out = scratch + "/terminal-out";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
        if (outputOnTerminal) {
            posix_spawn_file_actions_adddup2(&actions, 0, 1);
            // Held open until the program has ended, so that the drain does not see the
            // terminal closed before the program has opened it.
            m_slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
            m_drain = std::thread([this, out = std::ofstream(m_out, std::ios::binary)]() mutable {
                char buffer[4096];
                ssize_t got;
                while ((got = read(m_master, buffer, sizeof buffer)) > 0)
                    out.write(buffer, got).flush();
            });
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CTerminalRun()
    {
        if (m_pid != 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        FinishOutput();
        if (m_master >= 0)
            close(m_master);
    }
    // Once the program has ended: waits until everything it drew on the terminal is in
    // Output(). The drain reads until the terminal's last user has closed it.
    void FinishOutput()
    {
        if (m_slave >= 0)
            close(m_slave);
        m_slave = -1;
        if (m_drain.joinable())
            m_drain.join();
    }

    bool Started() const { return m_pid != 0; }
    std::string Output() const { return platform::ReadWholeFile(m_out).value_or(""); }
    // Waits until the output holds text; false when the program ended first.
    bool WaitForOutput(const std::string& text)
    {
        while (Output().find(text) == std::string::npos) {
            if (Ended())
                return Output().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    bool Ended()
    {
        if (!m_ended && waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_ended = true;
        return m_ended;
    }
    int WaitForExit()
    {
        if (!m_ended && waitpid(m_pid, &m_status, 0) == m_pid)
            m_ended = true;
        return m_ended && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    void Signal(int signal) { kill(m_pid, signal); }
    // Waits for the end; the signal that ended the program, or 0.
    int WaitForSignalEnd()
    {
        WaitForExit();
        return m_ended && WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0;
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(m_master, keys.data(), keys.size()), ssize_t(keys.size())); }

private:
    int m_master = -1;
    pid_t m_pid = 0;
    int m_status = 0;
    bool m_ended = false;
    std::string m_out;
    int m_slave = -1;  // the test's own hold on the terminal, with outputOnTerminal
    std::thread m_drain;
};

// Slow mode on the console at boot: a total now and then instead of a line per sector,
// which the console would draw one by one while the copy waits; the last total is always
// shown. Before the copy, both partitions are named; after it, the time taken.
TEST_F(KeldrunTest, SlowModeOnATerminalShowsATotalNowAndThenAndAlwaysTheLast)
{
    const std::size_t sectors = 8192;
    Drive('X', SectorPattern(sectors * kSector));
    std::string dest = Drive('Y', std::string(sectors * kSector, '\0'));

    CTerminalRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder}, m_machine.Root(), true);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitForOutput("Press the Enter key")) << run.Output();
    run.Type("\n");
    EXPECT_EQ(run.WaitForExit(), 0);
    run.FinishOutput();
    std::string output = run.Output();
    std::erase(output, '\r');

    EXPECT_TRUE(output.starts_with(Begins(sectors * kSector, sectors * kSector, false))) << output;
    // Ten a second at most: far fewer than one per sector, however slow this machine is.
    const std::size_t totals = testsupport::Occurrences(output, " total accumulated bytes written to the partition...\n");
    EXPECT_GE(totals, 1u);
    EXPECT_LT(totals, sectors / 8) << output;
    EXPECT_NE(output.find("4,194,304 total accumulated bytes written to the partition...\n\nSuccesfully created the "
                          "Y: partition clone.\nTotal bytes copied to the partition: 4,194,304\n\nTime taken: "),
              std::string::npos)
        << output;
    EXPECT_EQ(Read(dest), SectorPattern(sectors * kSector));
}

// A failure's message on the console ends by itself after its bound, so that the boot goes
// on; the prompt after a completed clone waits for Enter however long it takes.
TEST_F(KeldrunTest, OnlyTheMessageOfAFailureStopsWaitingForEnter)
{
    testsupport::CWaitBound bound(200);
    std::string dest = Drive('Y', std::string(8 * kSector, '\0'));
    Drive('X', SectorPattern(8 * kSector));

    CTerminalRun failed({KELDRUN_PATH, "X:", "Q:", "FAT32", "1,2,3,4,", "1", m_reportFolder}, m_machine.Root());
    ASSERT_TRUE(failed.Started());
    EXPECT_EQ(failed.WaitForExit(), 0);
    EXPECT_NE(failed.Output().find("Cannot open drive partition to clone to!\n\nQ: cannot be opened: No such file "
                                   "or directory\n[OK: press Enter; going on by itself in 200 ms] \n"
                                   "[no answer: going on]\n"),
              std::string::npos)
        << failed.Output();

    CTerminalRun completed({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "1", m_reportFolder}, m_machine.Root());
    ASSERT_TRUE(completed.Started());
    ASSERT_TRUE(completed.WaitForOutput(kPrompt)) << completed.Output();
    // Many times the bound.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_FALSE(completed.Ended()) << completed.Output();
    EXPECT_FALSE(ShutdownLog());
    completed.Type("\n");
    EXPECT_EQ(completed.WaitForExit(), 0);
    EXPECT_EQ(ShutdownLog(), "shutdown -r -f -t 0\n");
}

#ifdef BADSECTORFS_PATH

TEST_F(KeldrunTest, UnreadableSectorsOfARealFileAreSkippedAndListed)
{
    const std::string source = SectorPattern(64 * kSector);
    std::string backing = m_machine.Path("backing.img");
    std::ofstream(backing, std::ios::binary) << source;
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"10", "11", "63"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('X', mount.Image());
    std::string dest = Drive('Y', std::string(64 * kSector, '\x55'));

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_NE(run.m_out.find("Total bytes copied to the partition: 31,232\n\nTime taken: T.\n"
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

// A first sector of the destination that refuses its data leaves there the file system it
// held before: the copy is not told as its source's twin by that one's serial, and no tool
// is pointed at it.
TEST_F(KeldrunTest, ACopyWhoseFirstSectorWasNotWrittenIsNoTwinOfItsSource)
{
    if (std::system("command -v mkfs.vfat >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mkfs.vfat of dosfstools is missing";
    constexpr std::size_t kSize = 40 * 1024 * 1024;
    const std::string source = m_machine.MakeImage("X.img", kSize);
    const std::string backing = m_machine.MakeImage("backing.img", kSize);
    ASSERT_EQ(std::system(("mkfs.vfat -F 32 -i AAAA1111 -n SOURCE " + source + " >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system(("mkfs.vfat -F 32 -i BBBB2222 -n OLDCOPY " + backing + " >/dev/null 2>&1").c_str()), 0);
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, {"w0"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('X', source);
    Assign('Y', mount.Image());

    CProgramResult run = Keldrun({"X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder});
    EXPECT_EQ(run.m_exitCode, 0);
    EXPECT_NE(Status().value_or("").find("Skipping bad sector at location: 0 on partition Y:\n"), std::string::npos);
    EXPECT_EQ(run.m_out.find("BBBB-2222"), std::string::npos) << run.m_out;
    EXPECT_EQ(run.m_out.find("serial"), std::string::npos) << run.m_out;
}

// Bad sectors where narrowing a failed run down goes wrong most easily: the first sector,
// both edges of 32 KiB pieces and of MiB runs, a cluster across a run's end, every other
// sector of a worn area, the last sector. Every other sector is copied to its place, every
// bad one listed, and no sector is read more than three times, also from a disk whose
// transfers are split into smaller requests, where a read that fails comes back short.
// An NTFS source of this pattern fails the consistency check, and so its copy is only as
// good as its source: checking the source reads it once more, so its reads are not counted.
TEST_F(KeldrunTest, AFailingFileIsCopiedReadingNoSectorMoreThanThreeTimes)
{
    const std::size_t sectors = 3 * 2048 + 100;
    const std::string source = SectorPattern(sectors * kSector);
    std::string backing = m_machine.Path("backing.img");
    std::ofstream(backing, std::ios::binary) << source;
    std::vector<std::size_t> bad{0, 63, 64, 127, 2047, 2048, 4095, 4096, sectors - 1};
    for (std::size_t sector = 3000; sector < 3010; ++sector)
        bad.push_back(sector);
    for (std::size_t sector = 5000; sector < 5400; sector += 2)
        bad.push_back(sector);
    std::sort(bad.begin(), bad.end());
    std::vector<std::string> badArgs;
    std::string listed;
    std::string expected = source;
    for (std::size_t sector : bad) {
        badArgs.push_back(std::to_string(sector));
        listed += "Error#: 5.  Skipping bad sector at location: " + std::to_string(sector) + " on partition X:\n";
        expected.replace(sector * kSector, kSector, std::string(kSector, '\x55'));
    }
    listed += "Done => " + std::to_string((sectors - bad.size()) * kSector) + "\n";

    struct CDisk {
        const char* fileSystem;
        std::vector<std::string> options;
    };
    const std::string asGoodAsSource = AsGoodAsSourceText("X:", "Y:") + "\n";
    int mounts = 0;
    for (const CDisk& disk : {CDisk{"FAT32", {}}, CDisk{"FAT32", {"--max-read=131072"}},
                              CDisk{"NTFS", {"--max-read=131072"}}}) {
        SCOPED_TRACE(disk.fileSystem);
        testsupport::CBadSectorMount mount(m_machine.Path("mnt-" + std::to_string(++mounts)), backing, badArgs,
                                           disk.options);
        if (!mount.Mounted())
            GTEST_SKIP() << "FUSE cannot be mounted here";
        Assign('X', mount.Image());
        std::string dest = Drive('Y', std::string(sectors * kSector, '\x55'));

        CProgramResult run = Keldrun({"X:", "Y:", disk.fileSystem, kNtfsList, "0", m_reportFolder});
        EXPECT_NE(run.m_out.find("Bad sectors were found and were skipped."), std::string::npos) << run.m_out;
        const bool ntfs = std::string(disk.fileSystem) == "NTFS";
        std::string report = listed;
        if (ntfs)
            report.insert(report.rfind("Done => "), asGoodAsSource);
        EXPECT_EQ(Status(), "From: X:\nTo:   Y:\nFile System: " + std::string(disk.fileSystem) + "\n\n" + report);
        EXPECT_TRUE(Read(dest) == expected) << "the copy is not the source without its bad sectors";
        if (!ntfs) {
            EXPECT_EQ(mount.Count("most reads of a sector"), 3);
        }
        std::string error;
        ASSERT_TRUE(platform::RemoveDriveLetter('X', error)) << error;
        ASSERT_TRUE(platform::RemoveDriveLetter('Y', error)) << error;
    }
}

// Ctrl-Alt-Del while a failed run is narrowed down, each bad sector taking its time: the
// clone stops after the sector in progress, the report lists the bad sectors up to there
// and says the copy is incomplete, and nothing past that sector is written.
TEST_F(KeldrunTest, ASignalToEndDuringAFailedRunStopsAfterTheSectorInProgress)
{
    const std::size_t sectors = 2 * 2048;
    const std::string source = SectorPattern(sectors * kSector);
    std::string backing = m_machine.Path("backing.img");
    std::ofstream(backing, std::ios::binary) << source;
    std::vector<std::string> bad{"100"};
    for (int sector = 1500; sector < 1700; ++sector)
        bad.push_back(std::to_string(sector));
    testsupport::CBadSectorMount mount(m_machine.Path("mnt"), backing, bad, {"--slow-ms=20"});
    if (!mount.Mounted())
        GTEST_SKIP() << "FUSE cannot be mounted here";
    Assign('X', mount.Image());
    std::string dest = Drive('Y', std::string(sectors * kSector, '\x55'));

    CTerminalRun run({KELDRUN_PATH, "X:", "Y:", "FAT32", "1,2,3,4,", "0", m_reportFolder}, m_machine.Root());
    ASSERT_TRUE(run.Started());
    // Well into the cluster: the run, its pieces and sector 100 took five failed reads.
    while (mount.Count("reads touching a bad sector") < 15 && !run.Ended())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitForSignalEnd(), SIGTERM) << run.Output();

    const std::string interrupted =
        "Clone interrupted by signal 15.  The copy on the Y: partition is incomplete and will be unusable.";
    std::string status = Status().value_or("");
    std::string listed = "From: X:\nTo:   Y:\nFile System: FAT32\n\n"
                         "Error#: 5.  Skipping bad sector at location: 100 on partition X:\n";
    int last = 1499;
    while (status.find("location: " + std::to_string(last + 1) + " ") != std::string::npos)
        listed += "Error#: 5.  Skipping bad sector at location: " + std::to_string(++last) + " on partition X:\n";
    EXPECT_EQ(status, listed + interrupted + "\n");
    EXPECT_GE(last, 1505);
    EXPECT_LT(last, 1699);
    EXPECT_TRUE(run.Output().ends_with("767,488 total accumulated bytes written to the partition...\n\n" +
                                       interrupted + "\n"))
        << run.Output().substr(run.Output().size() - std::min<std::size_t>(run.Output().size(), 300));
    std::string expected(sectors * kSector, '\x55');
    expected.replace(0, 1500 * kSector, source.substr(0, 1500 * kSector));
    expected.replace(100 * kSector, kSector, std::string(kSector, '\x55'));
    EXPECT_TRUE(Read(dest) == expected) << "more or less than the sectors before the cluster was copied";
    EXPECT_FALSE(ShutdownLog());
}

#endif

}  // namespace
