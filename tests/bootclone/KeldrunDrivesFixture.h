// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives/DriveLetters.h"
#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/LoopDevice.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>

// Keldrun on a simulated machine whose drives are image files and loop devices over them:
// an 8 MiB image of distinct sectors to start with, and the report folder.
class CKeldrunDrivesFixture : public ::testing::Test {
protected:
    static constexpr std::size_t kMiB = 1 << 20;
    static constexpr const char* kNtfsList = "0,16,229,3,0,0,0,0";

    void SetUp() override
    {
        ASSERT_EQ(mkdir(m_reportFolder.c_str(), 0755), 0);
        m_image = m_machine.Path("disk.img");
        m_imageBytes = testsupport::SectorPattern(8 * kMiB);
        std::ofstream(m_image, std::ios::binary) << m_imageBytes;
    }

    void Assign(char letter, const std::string& path)
    {
        std::string error;
        ASSERT_TRUE(platform::AssignDriveLetter(letter, path, error)) << error;
    }
    // A loop device over backing, or nothing (the test then skips with m_skip).
    std::unique_ptr<testsupport::CLoopDevice> Loop(const std::string& backing, testsupport::CLoopOptions options = {})
    {
        auto loop = std::make_unique<testsupport::CLoopDevice>(backing, options);
        if (!loop->IsAttached()) {
            m_skip = loop->Error();
            return nullptr;
        }
        return loop;
    }

    testsupport::CProgramResult Keldrun(const std::string& source, const std::string& dest, bool fast)
    {
        return testsupport::RunCaptured(
            {KELDRUN_PATH, source, dest, "NTFS", kNtfsList, fast ? "1" : "0", m_reportFolder}, "\n",
            m_machine.Root());
    }
    std::optional<std::string> Status() const { return platform::ReadWholeFile(m_reportFolder + "status.txt"); }
    std::string Journal() const { return platform::ReadWholeFile(m_machine.Path("journal.log")).value_or(""); }
    bool RestartAsked() const { return platform::FileExists(m_machine.Path("shutdown.log")); }

    testsupport::CTempMachine m_machine;
    std::string m_reportFolder = m_machine.Path("Vantrel/");
    std::string m_image;
    std::string m_imageBytes;
    std::string m_skip;
};
