// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempMachine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

CTempMachine::CTempMachine(const std::string& parent)
{
    std::filesystem::path folder = parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
    std::string pattern = (folder / "vantrel-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary machine folder");
    m_root = name.data();
    setenv("VANTREL_SYSTEM_ROOT", m_root.c_str(), 1);
}

CTempMachine::~CTempMachine()
{
    unsetenv("VANTREL_SYSTEM_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string CTempMachine::MakeImage(const std::string& name, std::size_t size, unsigned char fill) const
{
    std::string path = Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20, static_cast<char>(fill));
    for (std::size_t left = size; left > 0;) {
        std::size_t n = left < block.size() ? left : block.size();
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
    return path;
}

}  // namespace testsupport
