// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/files/FileDescriptor.h"

#include <string>

namespace platform {

// One name in a folder that is held open, for files root writes where others may have
// planted something: every operation on the name happens in that folder and never
// follows a link in the name itself. Links on the way to the folder are followed, since
// the folder may rightly be reached through one (/var/lib, a home folder).
class CFolderEntry {
public:
    explicit CFolderEntry(const std::string& path);

    // The entry opened for appending, created 0644 when missing. Not open (errno set)
    // when the folder could not be opened or the entry is a link, is no regular file, or,
    // for root, has further hard links or belongs neither to root nor to the folder's
    // owner (a file that its folder's owner could have written anyway).
    CFd OpenForAppend() const;

    // Removes the entry when it is a link (the link, never its target) or a regular file
    // that opens for reading and writing. True when it was removed.
    bool RemoveIfOpenable() const;

private:
    CFd m_folder;
    std::string m_name;
};

}  // namespace platform
