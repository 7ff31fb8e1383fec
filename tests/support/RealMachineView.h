// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace testsupport {

// Runs check in a forked child that has the real machine's view to itself: a private
// mount namespace with empty /run and /var/lib (root-owned tmpfs, mode 0755) and no
// VANTREL_SYSTEM_ROOT, so the real machine's paths are used without touching this
// machine's files. Returns check's result (0 to 254), or -1 when such a view cannot be
// made here (not root, no mount namespaces).
int RunInRealMachineView(const std::function<int()>& check);

}  // namespace testsupport
