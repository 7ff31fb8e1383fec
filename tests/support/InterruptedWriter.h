// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace testsupport {

// Starts a child process that opens storeFile with SQLite, begins a write transaction,
// writes far more than the page cache holds (so uncommitted pages reach the disk) and is
// killed with SIGKILL before it commits, as a writer killed mid-change is. Every row it
// writes is a value named "uncommitted…" of the root key. False when the child could not
// be started or did not get that far.
bool KillWriterMidTransaction(const std::string& storeFile);

}  // namespace testsupport
