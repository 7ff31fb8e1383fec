// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/InterruptedWriter.h"

#include <sqlite3.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testsupport {

namespace {

// The child's work: true once the rows are written and the transaction is still open.
bool WriteWithoutCommitting(const std::string& storeFile)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(storeFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return false;
    // A tiny page cache: the changed pages go to the file (or its log) long before COMMIT.
    if (sqlite3_exec(db, "PRAGMA cache_size = 2; BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO reg_values(key, name, type, data) VALUES(0, ?1, 3, zeroblob(2000))", -1,
                           &insert, nullptr) != SQLITE_OK)
        return false;
    for (int i = 0; i < 500; ++i) {
        std::string name = "uncommitted" + std::to_string(i);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return false;
        sqlite3_reset(insert);
    }
    // Also change what was there before: the rows of the first key.
    return sqlite3_exec(db, "UPDATE reg_values SET data = zeroblob(3000) WHERE key <> 0", nullptr, nullptr,
                        nullptr) == SQLITE_OK;
}

}  // namespace

bool KillWriterMidTransaction(const std::string& storeFile)
{
    int ready[2];
    if (pipe(ready) != 0)
        return false;
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(ready[0]);
        char done = WriteWithoutCommitting(storeFile) ? 'y' : 'n';
        [[maybe_unused]] ssize_t told = write(ready[1], &done, 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char done = 'n';
    bool wrote = read(ready[0], &done, 1) == 1 && done == 'y';
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return wrote && WIFSIGNALED(status);
}

}  // namespace testsupport
