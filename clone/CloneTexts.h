// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Texts that the clone engine tells the user and writes into its report, defined once for
// the engine, its front ends and their tests.

// A destination that ends before the source (ENOSPC, in either mode) is no bad sector:
// the copy cannot be complete.
std::string DestinationTooSmallText(int error, const std::string& destination, const std::string& source);
