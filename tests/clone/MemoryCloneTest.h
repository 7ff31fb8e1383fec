// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/TextFiles.h"
#include "tests/support/FaultyVolume.h"
#include "tests/support/ScriptedMessageBox.h"
#include "tests/support/SectorPattern.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

// size bytes in which every sector differs from every other.
inline std::vector<std::byte> Pattern(std::size_t size)
{
    std::string bytes = testsupport::SectorPattern(size);
    const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
    return {data, data + size};
}

// Clones between memory volumes on a temporary machine: X:, a source of distinct sectors,
// and Y:, a destination that holds 0xEE until the copy; the report is the machine's
// Report.txt and the message boxes are recorded.
class CMemoryCloneTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (testsupport::CMemoryVolume* volume : {m_source, m_dest}) {
            if (volume != nullptr) {
                EXPECT_EQ(volume->OpenHandles(), 0) << "a volume was left open";
            }
        }
    }

    testsupport::CMemoryVolume& Source(std::size_t size)
    {
        m_source = &m_volumes.Add('X', size);
        m_sourceBytes = Pattern(size);
        m_source->SetBytes(0, m_sourceBytes);
        return *m_source;
    }
    testsupport::CMemoryVolume& Dest(std::size_t size)
    {
        m_dest = &m_volumes.Add('Y', size, 0xEE);
        return *m_dest;
    }

    std::vector<std::string> ReportLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(platform::ReadWholeFile(m_machine.Path("Report.txt")).value_or(""));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The report's header, then after.
    std::vector<std::string> Report(std::initializer_list<std::string> after, const std::string& fileSystem = "FAT32")
    {
        std::vector<std::string> lines{"From: X:", "To:   Y:", "File System: " + fileSystem, ""};
        lines.insert(lines.end(), after);
        return lines;
    }

    testsupport::CTempMachine m_machine;
    testsupport::CScriptedMessageBox m_boxes;
    testsupport::CFaultyVolumes m_volumes;
    testsupport::CMemoryVolume* m_source = nullptr;
    testsupport::CMemoryVolume* m_dest = nullptr;
    std::vector<std::byte> m_sourceBytes;
};
