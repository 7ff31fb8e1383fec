// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// Plain text files as the system uses them: LF line ends, one open/write/close per append.
namespace platform {

// Deletes path when it is a regular file that can be opened for reading and writing, or
// a link (the link, never its target); otherwise leaves it. True when it was deleted.
bool RemoveIfOpenable(const std::string& path);

// Appends text to path (created when missing, never truncated) and flushes it to the
// device before returning. Never writes through a link or into anything but a regular
// file, nor, for root, into a file with further hard links or of a foreign owner (see
// CFolderEntry). False when any step failed or the file was refused; the caller may
// ignore it.
bool AppendToFile(const std::string& path, const std::string& text);

// The first line of path without its line end (at most maxLength characters), or
// nothing when the file cannot be opened or read. An empty file gives an empty line.
std::optional<std::string> ReadFirstLine(const std::string& path, std::size_t maxLength = 255);

// The whole content of path, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The first maxBytes of path, a regular file (links followed), or nothing when it cannot
// be read or is anything else: a FIFO or a device put in the place of a configuration
// file neither holds the reader nor feeds it without end.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes);

bool FileExists(const std::string& path);

}  // namespace platform
