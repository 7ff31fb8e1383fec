// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated machine of Keldrun's tests with real NTFS images (made with mkntfs): an
// NTFS source X: and a report folder.

#include "bootclone/BootTexts.h"
#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/NtfsClone.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TwinNotes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace keldrun_ntfs {

inline constexpr std::uint64_t kMiB = 1 << 20;
inline constexpr const char* kFastProgress = "20,971,520 total accumulated bytes written to the partition...\n"
                                             "41,943,040 total accumulated bytes written to the partition...\n"
                                             "62,914,560 total accumulated bytes written to the partition...\n"
                                             "67,108,864 total accumulated bytes written to the partition...\n";
inline constexpr const char* kHeader = "From: X:\nTo:   Y:\nFile System: NTFS\n\n";
inline constexpr const char* kFastTotals = "20971520\n41943040\n62914560\n67108864\n";

// The console summary of a completed clone of the 64 MiB source onto Y:, with the notes of
// its completion (its time left out: testsupport::WithoutTimes).
inline std::string Summary(const std::vector<std::string>& notes = {})
{
    std::string lines;
    for (const std::string& note : notes)
        lines += note + "\n";
    return "\nSuccesfully created the Y: partition clone.\n"
           "Total bytes copied to the partition: 67,108,864\n\n"
           "Time taken: T.\n" +
           lines +
           "Press the Enter key, or press the Ctrl-Alt-Del keys to reboot the system.\n"
           "The partition will be useable when the system fully boots up.\n";
}

class CKeldrunNtfsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::NtfsToolsPresent(m_machine))
            GTEST_SKIP() << "the NTFS tools of ntfs-3g are missing (scripts/install-deps installs them)";
        ASSERT_EQ(mkdir(m_reportFolder.c_str(), 0755), 0);
        Source(512);
    }

    // The 64 MiB NTFS source X: with sectors of bytesPerSector, made afresh.
    void Source(unsigned bytesPerSector)
    {
        m_source = testsupport::MakeNtfsSource(m_machine, m_machine.Path("X.img"), bytesPerSector);
        ASSERT_FALSE(m_source.m_bytes.empty()) << "the NTFS source could not be made";
        Assign('X', m_source.m_path);
    }
    // letter for path, in place of any device it had.
    void Assign(char letter, const std::string& path)
    {
        std::string error;
        platform::RemoveDriveLetter(letter, error);
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
        if (letter == 'Y') {
            m_destPath = path;
            m_destBytes = testsupport::ByteSize(path);
        }
    }
    // An NTFS image of size bytes, Y: unless told otherwise.
    std::string Destination(std::uint64_t size, bool lettered = true, const testsupport::CNtfsFormat& format = {})
    {
        std::string path = m_machine.Path("Y.img");
        EXPECT_TRUE(testsupport::MakeNtfsImage(m_machine, path, size, format));
        if (lettered)
            Assign('Y', path);
        return path;
    }
    // Runs Keldrun, after the restart request of any run before; verify adds the verify
    // digit. The time it took is left out of its output.
    testsupport::CProgramResult Keldrun(const std::string& list, bool fast, bool verify = false)
    {
        std::filesystem::remove(m_machine.Path("shutdown.log"));
        std::vector<std::string> args{KELDRUN_PATH, "X:", "Y:", "NTFS", list, fast ? "1" : "0", m_reportFolder};
        if (verify)
            args.push_back("1");
        testsupport::CProgramResult run = testsupport::RunCaptured(args, "\n", m_machine.Root());
        run.m_out = testsupport::WithoutTimes(run.m_out);
        return run;
    }
    // The line before the copy of X: onto Y: as it was assigned last.
    std::string Begins(bool fast) const
    {
        return boottexts::CloneBeginsLine("X: (" + m_source.m_path + ")", testsupport::kNtfsSourceSize,
                                          "Y: (" + m_destPath + ")", m_destBytes, fast) +
               "\n";
    }
    // notes, then those of a copy on Y: that carries its source's serial.
    std::vector<std::string> WithTwins(std::vector<std::string> notes = {}) const
    {
        for (const std::string& note :
             testsupport::TwinNotes({"X:", "Y:", "NTFS", "", true}, m_source.m_path, m_destPath))
            notes.push_back(note);
        return notes;
    }
    // The end of the report of a completed clone: the notes, with the twins'.
    std::string Done(const std::vector<std::string>& notes = {}) const
    {
        std::string lines;
        for (const std::string& note : WithTwins(notes))
            lines += note + "\n";
        return lines + "Done => 67108864\n";
    }
    std::optional<std::string> Status() const { return platform::ReadWholeFile(m_reportFolder + "status.txt"); }
    bool RestartRequested() const { return platform::FileExists(m_machine.Path("shutdown.log")); }

    testsupport::CTempMachine m_machine;
    std::string m_reportFolder = m_machine.Path("Vantrel/");
    testsupport::CNtfsSource m_source;
    std::string m_destPath;  // Y:, as it was assigned last
    std::uint64_t m_destBytes = 0;
};

}  // namespace keldrun_ntfs
