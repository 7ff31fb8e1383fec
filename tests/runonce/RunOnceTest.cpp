// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "platform/files/TextFiles.h"
#include "platform/shell/Shell.h"
#include "tests/support/InterruptedWriter.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>

using platform::CRegKey;
using platform::QuoteArgument;
using platform::RegRoot;
using platform::RegStatus;

namespace {

const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

extern "C" char** environ;

std::string ReadFile(const std::string& path)
{
    return platform::ReadWholeFile(path).value_or("");
}

void WaitForFile(const std::string& path)
{
    while (!std::filesystem::exists(path))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// A machine with a RunOnce list and a program for its entries: a script in a folder with
// a space that logs its entry's name, whether the entry was still listed when it ran,
// and its arguments, one per line in brackets.
class RunOnceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "vantrel-runonce trusts only a store owned by root";
        std::filesystem::create_directory(m_machine.Path("My Programs"));
        m_script = m_machine.Path("My Programs/record.sh");
        m_log = m_machine.Path("My Programs/log");
        std::ofstream(m_script) << "#!/bin/sh\n"
                                   "entry=$1; shift\n"
                                   "if '" VANTREL_REG_PROGRAM "' query 'HKLM\\" << kRunOnce
                                << "' /v \"$entry\" >/dev/null 2>&1\n"
                                   "then state=listed; else state=deleted; fi\n"
                                   "{ echo \"$entry $state\"; for a; do printf '[%s]\\n' \"$a\"; done; } >> '"
                                << m_log << "'\n";
        chmod(m_script.c_str(), 0755);
    }

    void AddEntry(const std::string& name, const std::string& commandLine)
    {
        CRegKey key;
        ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, kRunOnce, key), RegStatus::Ok);
        ASSERT_EQ(WriteStringValue(key, name, commandLine), RegStatus::Ok);
    }

    std::vector<std::string> Entries()
    {
        std::vector<std::string> names;
        CRegKey key;
        if (CRegKey::Open(RegRoot::LocalMachine, kRunOnce, platform::RegAccess::Read, key) != RegStatus::Ok)
            return names;
        std::string name;
        for (std::uint32_t i = 0; key.EnumValue(i, name) == RegStatus::Ok; ++i)
            names.push_back(name);
        return names;
    }

    // Runs vantrel-runonce; its exit code, with what it wrote to stderr in m_errors.
    int RunOnce()
    {
        std::string errors = m_machine.Path("errors");
        int code = platform::RunProgram({"sh", "-c", "exec \"$0\" 2>\"$1\"", VANTREL_RUNONCE_PROGRAM, errors});
        m_errors = ReadFile(errors);
        return code;
    }

    std::string Entry(const std::string& name, const std::string& arguments = "")
    {
        return "\"" + m_script + "\" " + name + (arguments.empty() ? "" : " " + arguments);
    }

    testsupport::CTempMachine m_machine;
    std::string m_script;
    std::string m_log;
    std::string m_errors;
};

TEST_F(RunOnceTest, RunsEachEntryOnceInOrderAfterDeletingIt)
{
    const std::string windowsFolder = "C:\\Program Files\\Vantrel\\";
    const std::string folder = m_machine.Path("My Folder/");
    AddEntry("First", Entry("First", QuoteArgument(windowsFolder) + " " + QuoteArgument(folder) + " \"\" x"));
    AddEntry("Second", Entry("Second", "only"));
    const std::string marker = m_machine.Path("default-ran");
    AddEntry("", "touch " + marker);

    EXPECT_EQ(RunOnce(), 0) << m_errors;
    const std::string expected = "First deleted\n[" + windowsFolder + "]\n[" + folder + "]\n[]\n[x]\n"
                                 "Second deleted\n[only]\n";
    EXPECT_EQ(ReadFile(m_log), expected);
    EXPECT_EQ(m_errors, "");
    EXPECT_EQ(Entries(), std::vector<std::string>{""}) << "the unnamed default value is no entry";
    EXPECT_FALSE(std::filesystem::exists(marker));

    EXPECT_EQ(RunOnce(), 0);
    EXPECT_EQ(ReadFile(m_log), expected) << "nothing runs twice";
}

// What ran and how it ended goes to the journal (journal.log of the simulated machine).
TEST_F(RunOnceTest, TheJournalSaysWhatRanAndHowItEnded)
{
    std::ofstream(m_machine.Path("My Programs/fails.sh")) << "#!/bin/sh\nexit 3\n";
    std::ofstream(m_machine.Path("My Programs/killed.sh")) << "#!/bin/sh\nkill -KILL $$\n";
    chmod(m_machine.Path("My Programs/fails.sh").c_str(), 0755);
    chmod(m_machine.Path("My Programs/killed.sh").c_str(), 0755);
    const std::string fails = "\"" + m_machine.Path("My Programs/fails.sh") + "\"";
    const std::string killed = "\"" + m_machine.Path("My Programs/killed.sh") + "\"";
    const std::string missing = "\"" + m_machine.Path("missing") + "\" x";
    AddEntry("First", Entry("First", "a"));
    AddEntry("Fails", fails);
    AddEntry("Killed", killed);
    AddEntry("Missing", missing);

    EXPECT_EQ(RunOnce(), 1);
    EXPECT_EQ(ReadFile(m_machine.Path("journal.log")),
              "info vantrel-runonce: running \"First\": " + Entry("First", "a") + "\n"
              "info vantrel-runonce: \"First\" ended with exit code 0\n"
              "info vantrel-runonce: running \"Fails\": " + fails + "\n"
              "warning vantrel-runonce: \"Fails\" ended with exit code 3\n"
              "info vantrel-runonce: running \"Killed\": " + killed + "\n"
              "err vantrel-runonce: \"Killed\" was ended by signal 9 (Killed)\n"
              "info vantrel-runonce: running \"Missing\": " + missing + "\n"
              "err vantrel-runonce: \"Missing\" could not be started (No such file or directory): " + missing + "\n");
    EXPECT_NE(m_errors.find("\"Killed\" was ended by signal 9"), std::string::npos) << m_errors;
    EXPECT_TRUE(Entries().empty());
}

// The stop of the machine signals the whole unit, vantrel-runonce and the entry it runs:
// vantrel-runonce records how the entry ended, leaves the entries not yet run for the
// next start, and ends normally, so that a restart is not taken for a failure.
TEST_F(RunOnceTest, AStopOfTheMachineIsRecordedAndLeavesTheEntriesNotYetRun)
{
    const std::string started = m_machine.Path("started");
    const std::string script = m_machine.Path("My Programs/waits.sh");
    std::ofstream(script) << "#!/bin/sh\n: > '" << started << "'\nwhile :; do sleep 0.05; done\n";
    chmod(script.c_str(), 0755);
    AddEntry("Waits", "\"" + script + "\"");
    AddEntry("Second", Entry("Second"));

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    char program[] = VANTREL_RUNONCE_PROGRAM;
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, &attributes, argv, environ), 0);
    posix_spawnattr_destroy(&attributes);
    WaitForFile(started);
    kill(-pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    const std::string journal = ReadFile(m_machine.Path("journal.log"));
    EXPECT_NE(journal.find("notice vantrel-runonce: \"Waits\" was ended by signal 15 (Terminated) as the system "
                           "stopped\n"
                           "notice vantrel-runonce: the system is stopping (signal 15): the entries not run stay for "
                           "the next start\n"),
              std::string::npos)
        << journal;
    EXPECT_EQ(Entries(), std::vector<std::string>{"Second"});
    EXPECT_FALSE(std::filesystem::exists(m_log));
}

TEST_F(RunOnceTest, UnsafeStoreIsRefusedAndNothingRuns)
{
    AddEntry("First", Entry("First"));
    const std::string store = m_machine.Path("hklm.db");
    const std::string root = m_machine.Root();
    struct Unsafe {
        const char* what;
        std::function<void()> make;
        std::function<void()> undo;
    };
    const std::vector<Unsafe> cases = {
        {"store writable by group", [&] { chmod(store.c_str(), 0664); }, [&] { chmod(store.c_str(), 0644); }},
        {"store owned by another user", [&] { ASSERT_EQ(chown(store.c_str(), 65534, 65534), 0); },
         [&] { ASSERT_EQ(chown(store.c_str(), 0, 0), 0); }},
        {"folder writable by others", [&] { chmod(root.c_str(), 0777); }, [&] { chmod(root.c_str(), 0700); }},
        {"write-ahead log writable by others", [&] { chmod((store + "-wal").c_str(), 0666); },
         [&] { chmod((store + "-wal").c_str(), 0644); }},
    };
    for (const Unsafe& unsafe : cases) {
        unsafe.make();
        EXPECT_EQ(RunOnce(), 1) << unsafe.what;
        EXPECT_EQ(std::count(m_errors.begin(), m_errors.end(), '\n'), 1) << unsafe.what << ": " << m_errors;
        EXPECT_NE(m_errors.find("refusing"), std::string::npos) << m_errors;
        unsafe.undo();
        EXPECT_FALSE(std::filesystem::exists(m_log)) << unsafe.what;
        EXPECT_EQ(Entries(), std::vector<std::string>{"First"}) << unsafe.what;
    }
    EXPECT_EQ(RunOnce(), 0) << "safe again: " << m_errors;
    EXPECT_EQ(ReadFile(m_log), "First deleted\n");
}

// A writer killed in the middle of a change does not hide the scheduled entry.
TEST_F(RunOnceTest, EntryStillRunsAfterAWriterWasKilledMidChange)
{
    AddEntry("First", Entry("First"));
    ASSERT_TRUE(testsupport::KillWriterMidTransaction(m_machine.Path("hklm.db")));
    EXPECT_EQ(RunOnce(), 0) << m_errors;
    EXPECT_EQ(ReadFile(m_log), "First deleted\n");
}

TEST_F(RunOnceTest, AStoreThatCannotBeReadIsSaidToBeSo)
{
    const std::string store = m_machine.Path("hklm.db");
    std::ofstream(store, std::ios::trunc) << "not a database\n";
    EXPECT_EQ(RunOnce(), 1);
    EXPECT_EQ(m_errors.rfind("vantrel-runonce: the store cannot be read: " + store + ": ", 0), 0u) << m_errors;
    EXPECT_EQ(std::count(m_errors.begin(), m_errors.end(), '\n'), 1) << m_errors;
}

TEST_F(RunOnceTest, EntryThatCannotStartIsDeletedAndTheOthersStillRun)
{
    AddEntry("Broken", "\"" + m_machine.Path("no such program") + "\" arg");
    AddEntry("Second", Entry("Second"));
    EXPECT_EQ(RunOnce(), 1);
    EXPECT_NE(m_errors.find("\"Broken\""), std::string::npos) << m_errors;
    EXPECT_EQ(ReadFile(m_log), "Second deleted\n");
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
