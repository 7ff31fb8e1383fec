// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace testsupport {

// A simulated machine in a fresh temporary folder: sets VANTREL_SYSTEM_ROOT to it for
// the life of the object and removes the folder afterwards.
class CTempMachine {
public:
    // The folder is made in parent, or in the system's temporary folder.
    explicit CTempMachine(const std::string& parent = {});
    ~CTempMachine();
    CTempMachine(const CTempMachine&) = delete;
    CTempMachine& operator=(const CTempMachine&) = delete;

    const std::string& Root() const { return m_root; }
    // A path inside the machine's folder.
    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    // Creates an image file of size bytes filled with fill, returns its path.
    std::string MakeImage(const std::string& name, std::size_t size, unsigned char fill = 0) const;

private:
    std::string m_root;
};

}  // namespace testsupport
