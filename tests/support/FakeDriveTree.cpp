// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeDriveTree.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

void MakeDevice(const fs::path& dir, const std::string& devno, std::uint64_t bytes)
{
    WriteText(dir / "dev", devno);
    WriteText(dir / "size", std::to_string(bytes / 512));
}

}  // namespace

CFakeDriveTree::CFakeDriveTree(const std::string& folder) : m_root(folder)
{
    fs::create_directories(m_root + "/sys/block");
    fs::create_directories(m_root + "/sys/dev/block");
    fs::create_directories(m_root + "/dev/disk");
    WriteMountInfo();
}

platform::CDriveSources CFakeDriveTree::Sources() const
{
    return {m_root + "/sys", m_root + "/mountinfo", m_root + "/dev"};
}

void CFakeDriveTree::AddDisk(const std::string& name, const std::string& devno, std::uint64_t bytes, bool removable,
                             const std::string& scsiType)
{
    fs::path dir = m_root + "/sys/block/" + name;
    MakeDevice(dir, devno, bytes);
    WriteText(dir / "removable", removable ? "1" : "0");
    if (!scsiType.empty())
        WriteText(dir / "device" / "type", scsiType);
    m_sysfsDirs[name] = dir.string();
    LinkDeviceNumber(devno, dir.string());
    std::ofstream(Node(name)).close();
}

void CFakeDriveTree::AddPartition(const std::string& disk, const std::string& name, unsigned number,
                                  const std::string& devno, std::uint64_t bytes, std::uint64_t startSector)
{
    fs::path dir = m_root + "/sys/block/" + disk + "/" + name;
    MakeDevice(dir, devno, bytes);
    WriteText(dir / "partition", std::to_string(number));
    WriteText(dir / "start", std::to_string(startSector));
    m_sysfsDirs[name] = dir.string();
    LinkDeviceNumber(devno, dir.string());
    std::ofstream(Node(name)).close();
}

void CFakeDriveTree::AddLoop(const std::string& name, const std::string& devno, const std::string& backingFile,
                             std::uint64_t offset, std::uint64_t bytes)
{
    AddDisk(name, devno, bytes);
    fs::path dir = m_sysfsDirs.at(name);
    WriteText(dir / "loop" / "backing_file", backingFile);
    WriteText(dir / "loop" / "offset", std::to_string(offset));
    WriteText(dir / "loop" / "sizelimit", "0");
}

void CFakeDriveTree::AddStacked(const std::string& name, const std::string& devno, std::uint64_t bytes,
                                const std::vector<std::string>& slaves)
{
    AddDisk(name, devno, bytes);
    fs::path dir = m_sysfsDirs.at(name);
    fs::create_directories(dir / "slaves");
    for (const auto& slave : slaves) {
        auto found = m_sysfsDirs.find(slave);
        fs::create_symlink(found != m_sysfsDirs.end() ? found->second : m_root + "/sys/block/" + slave,
                           dir / "slaves" / slave);
    }
}

void CFakeDriveTree::SetAttribute(const std::string& name, const std::string& attribute, const std::string& text)
{
    WriteText(fs::path(m_sysfsDirs.at(name)) / attribute, text);
}

void CFakeDriveTree::LinkDeviceNumber(const std::string& devno, const std::string& dir)
{
    fs::path link = m_root + "/sys/dev/block/" + devno;
    fs::create_directories(link.parent_path());
    fs::remove(link);
    fs::create_symlink(dir, link);
}

void CFakeDriveTree::AddLink(const std::string& folder, const std::string& link, const std::string& device)
{
    fs::path dir = m_root + "/dev/disk/" + folder;
    fs::create_directories(dir);
    fs::create_symlink("../../" + device, dir / link);
}

void CFakeDriveTree::Remove(const std::string& name)
{
    for (const auto& link : fs::directory_iterator(m_root + "/sys/dev/block"))
        if (fs::read_symlink(link.path()) == m_sysfsDirs.at(name))
            fs::remove(link.path());
    fs::remove_all(m_sysfsDirs.at(name));
    fs::remove(Node(name));
    for (const auto& folder : fs::directory_iterator(m_root + "/dev/disk"))
        for (const auto& link : fs::directory_iterator(folder.path()))
            if (fs::read_symlink(link.path()).filename() == name)
                fs::remove(link.path());
}

void CFakeDriveTree::Mount(const std::string& devno, const std::string& source, const std::string& target,
                           const std::string& fsType)
{
    std::size_t id = 20 + m_mountLines.size();
    m_mountLines.push_back(std::to_string(id) + " 1 " + devno + " / " + target + " rw,relatime - " + fsType + " " +
                           source + " rw");
    WriteMountInfo();
}

void CFakeDriveTree::UnmountAll()
{
    m_mountLines.clear();
    WriteMountInfo();
}

void CFakeDriveTree::WriteMountInfo() const
{
    std::ofstream out(m_root + "/mountinfo");
    for (const auto& line : m_mountLines)
        out << line << "\n";
}
