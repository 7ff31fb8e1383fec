// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <set>

using namespace platform;

namespace {

constexpr int kWritesPerProcess = 150;

// One writer process: creates shared and own keys and stores its values one write at a
// time, with a fresh connection now and then. The exit code counts the failed calls.
int Writer(const std::string& tag)
{
    int failures = 0;
    CRegKey key;
    for (int i = 0; i < kWritesPerProcess; ++i) {
        if (i % 25 == 0) {
            if (CRegKey::Create(RegRoot::LocalMachine, "Shared\\Both\\" + std::to_string(i), key) != RegStatus::Ok)
                ++failures;
            if (CRegKey::Create(RegRoot::LocalMachine, "Shared", key) != RegStatus::Ok)
                ++failures;
        }
        if (WriteDwordValue(key, tag + std::to_string(i), static_cast<std::uint32_t>(i)) != RegStatus::Ok)
            ++failures;
    }
    return failures > 254 ? 254 : failures;
}

TEST(ConcurrentWriteTest, TwoProcessesWritingAtOnceLoseNothing)
{
    testsupport::CTempMachine machine;
    std::vector<pid_t> writers;
    for (std::string tag : {"first", "second"}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(Writer(tag));
        writers.push_back(child);
    }
    for (pid_t child : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed registry calls in a writer";
    }

    CRegKey key;
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "Shared", RegAccess::Read, key), RegStatus::Ok);
    std::set<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; key.EnumValue(i, name) == RegStatus::Ok; ++i)
        names.insert(name);
    EXPECT_EQ(names.size(), 2u * kWritesPerProcess);
    RegValue value;
    ASSERT_EQ(key.Query("second149", value), RegStatus::Ok);
    EXPECT_EQ(value.data, (std::vector<unsigned char>{149, 0, 0, 0}));

    // Keys both processes created exist once each.
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, "Shared\\Both", RegAccess::Read, key), RegStatus::Ok);
    std::uint32_t subKeys = 0;
    while (key.EnumSubKey(subKeys, name) == RegStatus::Ok)
        ++subKeys;
    EXPECT_EQ(subKeys, static_cast<std::uint32_t>(kWritesPerProcess / 25));
}

}  // namespace
