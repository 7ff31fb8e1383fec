// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using Paths = std::set<std::string>;

constexpr const char* kViewerKey = "HKCR\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr const char* kVantrelKey = "HKLM\\Software\\Tembric\\Vantrel";

std::string RootTarball()
{
    const char* cache = std::getenv("VANTREL_TEST_ROOT_CACHE");
    return std::string(cache != nullptr && *cache != '\0' ? cache : "/var/cache/vantrel-tests") + "/debian12-root.tar";
}

// The package of `make deb`, when it is not older than the programs of this build.
std::optional<fs::path> CurrentPackage(std::string& reason)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PACKAGE_DIR, error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("vantrel_", 0) != 0 || entry.path().extension() != ".deb")
            continue;
        if (fs::last_write_time(entry.path()) < fs::last_write_time(KELDRUN_PATH)) {
            reason = entry.path().string() + " is older than this build: make deb";
            return std::nullopt;
        }
        return entry.path();
    }
    reason = std::string("no package in ") + PACKAGE_DIR + ": make deb";
    return std::nullopt;
}

// The package of this tree installed into a fresh Debian 12 root (a chroot: nothing is
// booted), used there as the system would use it, and purged. Made by `make test-package`.
class PackageChrootTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "installing a package into a chroot needs root";
        std::string reason;
        std::optional<fs::path> package = CurrentPackage(reason);
        if (!package)
            GTEST_SKIP() << reason;
        if (!fs::is_regular_file(RootTarball()))
            GTEST_SKIP() << "no Debian 12 root in " << RootTarball() << ": scripts/make-test-root.sh";
        fs::create_directories(m_root);
        auto extracted = Host({"/bin/tar", "-xf", RootTarball(), "-C", m_root});
        ASSERT_EQ(extracted.m_exitCode, 0) << extracted.m_err;
        fs::copy_file(*package, m_root + "/tmp/vantrel.deb");
    }

    testsupport::CProgramResult Host(const std::vector<std::string>& argv)
    {
        return testsupport::RunCaptured(argv, "", m_machine.Root());
    }
    // Runs a shell script in the root with a clean environment (and what extra adds).
    testsupport::CProgramResult InRoot(const std::string& script, const std::string& input = "",
                                       const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> argv{"/usr/sbin/chroot", m_root, "/usr/bin/env", "-i",
                                      "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C.UTF-8", "HOME=/root"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.insert(argv.end(), {"/bin/sh", "-c", script});
        return testsupport::RunCaptured(argv, input, m_machine.Root());
    }
    std::string Registry(const std::string& key, const std::string& value)
    {
        return InRoot("vantrel-reg query '" + key + "' " + value + " 2>&1").m_out;
    }

    // Every path of the root, with the target of each link; what dpkg, man-db and the
    // test keep for themselves is left out.
    Paths Snapshot() const
    {
        static const std::vector<std::string> skipped{"/var/lib/dpkg", "/var/log", "/var/cache/man",
                                                      "/var/cache/debconf", "/tmp", "/srv/machine"};
        Paths paths;
        for (auto it = fs::recursive_directory_iterator(m_root); it != fs::recursive_directory_iterator(); ++it) {
            std::string path = it->path().string().substr(m_root.size());
            bool skip = false;
            for (const std::string& prefix : skipped)
                skip = skip || path == prefix || path.rfind(prefix + "/", 0) == 0;
            if (skip) {
                it.disable_recursion_pending();
                continue;
            }
            if (it->is_symlink())
                path += " -> " + fs::read_symlink(it->path()).string();
            paths.insert(path);
        }
        return paths;
    }

    testsupport::CTempMachine m_machine;
    std::string m_root = m_machine.Path("root");
};

TEST_F(PackageChrootTest, InstallsInTheHierarchyClonesThroughTheInstallFolderAndPurgesLeavingNothing)
{
    const Paths before = Snapshot();

    // A simulated machine in the installer's environment must not become the machine the
    // package registers itself on.
    auto installed = InRoot("dpkg -i /tmp/vantrel.deb", "", {"VANTREL_SYSTEM_ROOT=/srv/elsewhere"});
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_out << installed.m_err;
    EXPECT_FALSE(fs::exists(m_root + "/srv/elsewhere"));

    for (const char* program : {"/usr/bin/Vantrel", "/usr/bin/Tallisk", "/usr/bin/vantrel-launch", "/usr/sbin/vantrel-reg",
                                "/usr/sbin/vantrel-mountvol", "/usr/libexec/vantrel/Keldrun",
                                "/usr/libexec/vantrel/vantrel-runonce"})
        EXPECT_TRUE(fs::is_regular_file(m_root + program)) << program;
    EXPECT_EQ(fs::read_symlink(m_root + "/var/lib/vantrel/Keldrun.exe"), "/usr/libexec/vantrel/Keldrun");
    EXPECT_EQ(fs::read_symlink(m_root + "/var/lib/vantrel/Vantrel.chm"), "/usr/share/vantrel/Vantrel.chm");
    EXPECT_TRUE(fs::is_regular_file(m_root + "/usr/share/vantrel/Vantrel.chm"));
    // The package enabled the unit through /etc, as deb-systemd-helper does.
    EXPECT_EQ(fs::read_symlink(m_root + "/etc/systemd/system/sysinit.target.wants/vantrel-runonce.service"),
              "/lib/systemd/system/vantrel-runonce.service");
    EXPECT_NE(Registry(kVantrelKey, "/v Path").find("Path    REG_SZ    /var/lib/vantrel/\n"), std::string::npos);
    EXPECT_NE(Registry(kViewerKey, "/ve").find("REG_SZ    /usr/bin/xchm\n"), std::string::npos);
    // The desktop entry's launcher runs with the tools the package depends on (xhost).
    auto launcher = InRoot("vantrel-launch --version && command -v xhost");
    EXPECT_EQ(launcher.m_out.rfind("vantrel-launch (Vantrel) ", 0), 0u) << launcher.m_out << launcher.m_err;
    EXPECT_NE(launcher.m_out.find("\n/usr/bin/xhost\n"), std::string::npos) << launcher.m_out;
    auto manual = InRoot("MANPAGER=cat MANWIDTH=80 man Keldrun");
    EXPECT_NE(manual.m_out.find("Keldrun - clone a partition at the start of the machine"), std::string::npos)
        << manual.m_out << manual.m_err;

    // The help viewer follows the viewer package: gone with it, back with it.
    auto removed = InRoot("dpkg -r xchm");
    ASSERT_EQ(removed.m_exitCode, 0) << removed.m_err;
    EXPECT_EQ(Registry(kViewerKey, "/ve").find("REG_SZ"), std::string::npos);
    auto reinstalled = InRoot("dpkg -i /root/xchm.deb");
    ASSERT_EQ(reinstalled.m_exitCode, 0) << reinstalled.m_err;
    EXPECT_NE(Registry(kViewerKey, "/ve").find("REG_SZ    /usr/bin/xchm\n"), std::string::npos);

    // A clone of two image files on a simulated machine, through the install folder's
    // Keldrun.exe, as the boot-time entry starts it.
    fs::create_directories(m_root + "/srv/machine");
    std::string source(1 << 20, '\0');
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<char>(i * 7 + i / 512);
    std::ofstream(m_root + "/srv/machine/x.img", std::ios::binary) << source;
    std::ofstream(m_root + "/srv/machine/y.img", std::ios::binary) << std::string(source.size() + 4096, '\xEE');
    auto cloned = InRoot("vantrel-mountvol X: /srv/machine/x.img && vantrel-mountvol Y: /srv/machine/y.img && "
                         "/var/lib/vantrel/Keldrun.exe X: Y: FAT32 1,2,3,4, 1 /srv/machine/",
                         "\n", {"VANTREL_SYSTEM_ROOT=/srv/machine"});
    ASSERT_EQ(cloned.m_exitCode, 0) << cloned.m_out << cloned.m_err;
    EXPECT_NE(cloned.m_out.find("Succesfully created the Y: partition clone."), std::string::npos) << cloned.m_out;
    EXPECT_EQ(platform::ReadWholeFile(m_root + "/srv/machine/status.txt"),
              "From: X:\nTo:   Y:\nFile System: FAT32\n\n1048576\nDone => 1048576\n");
    EXPECT_EQ(platform::ReadWholeFile(m_root + "/srv/machine/shutdown.log"), "shutdown -r -f -t 0\n");
    EXPECT_TRUE(platform::ReadWholeFile(m_root + "/srv/machine/y.img").value_or("").substr(0, source.size()) == source)
        << "the copy differs from the source";

    // Removal takes back what the installation wrote and keeps the machine's settings;
    // the purge takes the rest, the unit's link under /etc included.
    ASSERT_EQ(InRoot("vantrel-reg add '" + std::string(kVantrelKey) + "' /v FastMode /t REG_DWORD /d 0 /f").m_exitCode, 0);
    auto removedPackage = InRoot("dpkg -r vantrel");
    ASSERT_EQ(removedPackage.m_exitCode, 0) << removedPackage.m_err;
    // The store left behind, read with this build's vantrel-reg as a simulated machine.
    setenv("VANTREL_SYSTEM_ROOT", (m_root + "/var/lib/vantrel").c_str(), 1);
    EXPECT_NE(Host({REG_PATH, "query", kVantrelKey}).m_out.find("FastMode    REG_DWORD    0x0\n"), std::string::npos);
    EXPECT_EQ(Host({REG_PATH, "query", kVantrelKey, "/v", "Path"}).m_exitCode, 1);
    EXPECT_EQ(Host({REG_PATH, "query", kViewerKey, "/ve"}).m_exitCode, 1);
    setenv("VANTREL_SYSTEM_ROOT", m_machine.Root().c_str(), 1);
    EXPECT_FALSE(fs::exists(m_root + "/var/lib/vantrel/Keldrun.exe"));
    auto purged = InRoot("dpkg --purge vantrel");
    ASSERT_EQ(purged.m_exitCode, 0) << purged.m_err;

    Paths after = Snapshot();
    Paths left, missing;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(left, left.end()));
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::inserter(missing, missing.end()));
    EXPECT_EQ(left, Paths{});
    EXPECT_EQ(missing, Paths{});
}

}  // namespace
