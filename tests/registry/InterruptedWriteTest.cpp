// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegistryStore.h"
#include "tests/registry/OtherUser.h"
#include "tests/support/InterruptedWriter.h"
#include "tests/support/TempMachine.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace platform;

namespace {

const std::string kKey = "Software\\Tembric\\Vantrel";

// 0 when the key reads as it was committed: the value Path there and nothing of the
// killed writer's change; otherwise the number of the check that failed.
int ReadsTheCommittedState()
{
    CRegKey key;
    if (CRegKey::Open(RegRoot::LocalMachine, kKey, RegAccess::Read, key) != RegStatus::Ok)
        return 1;
    std::string path;
    if (ReadStringValue(key, "Path", path) != RegStatus::Ok || path != "/opt/vantrel/")
        return 2;
    CRegKey root;
    RegValue value;
    if (CRegKey::Open(RegRoot::LocalMachine, "", RegAccess::Read, root) != RegStatus::Ok ||
        root.Query("uncommitted0", value) != RegStatus::NotFound)
        return 3;
    return 0;
}

// A store with one committed value, and a writer killed in the middle of changing it.
class InterruptedWrite : public testing::Test {
protected:
    void SetUp() override
    {
        CRegKey key;
        ASSERT_EQ(CRegKey::Create(RegRoot::LocalMachine, kKey, key), RegStatus::Ok);
        ASSERT_EQ(WriteStringValue(key, "Path", "/opt/vantrel/"), RegStatus::Ok);
        key.Close();
        ASSERT_TRUE(testsupport::KillWriterMidTransaction(m_store));
    }

    testsupport::CToolRun Query(std::vector<std::string> asUser = {})
    {
        asUser.insert(asUser.end(), {std::string(VANTREL_BIN_DIR) + "/vantrel-reg", "query", "HKLM\\" + kKey});
        return testsupport::RunTool(m_machine, "/usr/bin/env", asUser);
    }

    testsupport::CTempMachine m_machine;
    std::string m_store = m_machine.Path("hklm.db");
};

// The reader without write permission comes first: it cannot repair anything itself.
TEST_F(InterruptedWrite, ReadersWithAndWithoutWritePermissionSeeTheLastCommittedState)
{
    int result = testsupport::RunWithoutWritePermission(m_machine.Root(), m_store, ReadsTheCommittedState);
    if (result == -1)
        GTEST_SKIP() << "cannot run a check without write permission here";
    EXPECT_EQ(result, 0);
    if (geteuid() == 0) {
        testsupport::CToolRun asNobody = Query({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        EXPECT_EQ(asNobody.exitCode, 0) << asNobody.err;
        EXPECT_NE(asNobody.out.find("Path    REG_SZ    /opt/vantrel/"), std::string::npos) << asNobody.out;
    }

    EXPECT_EQ(ReadsTheCommittedState(), 0);
    testsupport::CToolRun query = Query();
    EXPECT_EQ(query.exitCode, 0) << query.err;
    CRegKey key;
    ASSERT_EQ(CRegKey::Open(RegRoot::LocalMachine, kKey, RegAccess::Full, key), RegStatus::Ok);
    EXPECT_EQ(WriteStringValue(key, "Path", "/srv/vantrel/"), RegStatus::Ok);
}

// Without its log files a store opens only for a user who may write it, who makes them.
TEST_F(InterruptedWrite, LogFilesRemovedAreMadeAgainByTheFirstUserWhoMayWrite)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a user without write permission";
    ASSERT_EQ(chmod(m_machine.Root().c_str(), 0755), 0);
    EXPECT_EQ(ReadsTheCommittedState(), 0);  // recovers and closes: the log is empty
    ASSERT_EQ(unlink((m_store + "-wal").c_str()), 0);
    ASSERT_EQ(unlink((m_store + "-shm").c_str()), 0);
    const std::vector<std::string> nobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

    testsupport::CToolRun refused = Query(nobody);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.rfind("ERROR: the store cannot be read: " + m_store + ": its write-ahead log", 0), 0u)
        << refused.err;
    EXPECT_EQ(Query().exitCode, 0);
    testsupport::CToolRun again = Query(nobody);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("Path    REG_SZ    /opt/vantrel/"), std::string::npos) << again.out;
}

// A file that is not a registry store is said to be one, by the store and by vantrel-reg,
// and is left as it was; an empty file is a new store.
TEST(StoreFile, AFileThatIsNoRegistryStoreIsNeverGivenItsTables)
{
    testsupport::CTempMachine machine;
    const std::string store = machine.Path("hklm.db");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(store.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    const std::string reg = std::string(VANTREL_BIN_DIR) + "/vantrel-reg";

    CRegKey key;
    EXPECT_EQ(CRegKey::Create(RegRoot::LocalMachine, kKey, key), RegStatus::Failed);
    EXPECT_EQ(CRegKey::Open(RegRoot::LocalMachine, "", RegAccess::Full, key), RegStatus::Failed);
    EXPECT_EQ(CRegKey::Open(RegRoot::LocalMachine, "", RegAccess::Read, key), RegStatus::Failed);
    EXPECT_EQ(StoreReadProblem(RegRoot::LocalMachine), store + ": not a registry store");
    testsupport::CToolRun add = testsupport::RunTool(machine, reg, {"add", "HKLM\\" + kKey, "/v", "Path", "/d", "x"});
    EXPECT_EQ(add.exitCode, 1);
    EXPECT_EQ(add.err, "ERROR: the store cannot be read: " + store + ": not a registry store\n");
    ASSERT_EQ(sqlite3_open(store.c_str(), &other), SQLITE_OK);
    sqlite3_stmt* tables = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(other, "SELECT group_concat(name) FROM sqlite_master", -1, &tables, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(tables), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(tables, 0)), "notes");
    sqlite3_finalize(tables);
    sqlite3_close(other);

    std::ofstream(store, std::ios::trunc) << "not a database at all\n";
    EXPECT_EQ(CRegKey::Create(RegRoot::LocalMachine, kKey, key), RegStatus::Failed);
    testsupport::CToolRun query = testsupport::RunTool(machine, reg, {"query", "HKLM\\" + kKey});
    EXPECT_EQ(query.exitCode, 1);
    EXPECT_EQ(query.err.rfind("ERROR: the store cannot be read: " + store + ": ", 0), 0u) << query.err;

    std::ofstream(store, std::ios::trunc).close();
    EXPECT_EQ(CRegKey::Open(RegRoot::LocalMachine, kKey, RegAccess::Read, key), RegStatus::NotFound);
    EXPECT_EQ(StoreReadProblem(RegRoot::LocalMachine), std::nullopt);
    EXPECT_EQ(CRegKey::Create(RegRoot::LocalMachine, kKey, key), RegStatus::Ok);
}

}  // namespace
