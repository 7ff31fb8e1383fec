// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "platform/registry/RegistryStore.h"
#include "settings/Registry.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;

constexpr const char* kVantrelKey = "Software\\Tembric\\Vantrel";
constexpr const char* kViewerKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kInstallFolder = "/var/lib/vantrel";

// Sets an environment variable for the life of the object, then restores what it was.
class CEnvironment {
public:
    CEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~CEnvironment()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    CEnvironment(const CEnvironment&) = delete;
    CEnvironment& operator=(const CEnvironment&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// `make install` and `make uninstall` of this build tree, staged under DESTDIR, with the
// registry of a simulated machine.
class InstallTest : public ::testing::Test {
protected:
    testsupport::CProgramResult Cmake(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), CMAKE_COMMAND);
        return testsupport::RunCaptured(arguments, "", m_machine.Root());
    }
    // The install looks for a CHM viewer in PATH: here only in the machine's bin folder.
    testsupport::CProgramResult Install()
    {
        CEnvironment path("PATH", m_bin);
        return Cmake({"--install", BUILD_DIR});
    }
    testsupport::CProgramResult Uninstall() { return Cmake({"-P", std::string(BUILD_DIR) + "/packaging/Uninstall.cmake"}); }

    // A path of the installed tree.
    fs::path Staged(const std::string& path) const { return m_stage + path; }
    fs::path StagedInPrefix(const std::string& path) const { return Staged(m_prefix + path); }
    std::string Text(const fs::path& path) const { return platform::ReadWholeFile(path.string()).value_or(""); }

    static std::optional<std::string> Value(platform::RegRoot root, const char* key, const char* name)
    {
        platform::CRegKey handle;
        std::string text;
        if (platform::CRegKey::Open(root, key, platform::RegAccess::Read, handle) != platform::RegStatus::Ok ||
            platform::ReadStringValue(handle, name, text) != platform::RegStatus::Ok)
            return std::nullopt;
        return text;
    }
    static std::optional<std::string> InstallFolderValue()
    {
        return Value(platform::RegRoot::LocalMachine, kVantrelKey, "Path");
    }
    static std::optional<std::string> ViewerValue() { return Value(platform::RegRoot::ClassesRoot, kViewerKey, ""); }

    // Every file and link of the staged tree, folders left out.
    std::vector<std::string> StagedFiles() const
    {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_stage))
            if (!entry.is_directory() || fs::is_symlink(entry.path()))
                files.push_back(entry.path().string().substr(m_stage.size()));
        std::sort(files.begin(), files.end());
        return files;
    }

    testsupport::CTempMachine m_machine;
    std::string m_stage = m_machine.Path("stage");
    std::string m_bin = m_machine.Path("bin");
    CEnvironment m_destDir{"DESTDIR", m_stage};
    const std::string m_prefix = INSTALL_PREFIX;
};

TEST_F(InstallTest, InstallsTheProgramsWhereTheFileSystemHierarchySaysAndTheInstallFolderUnderVar)
{
    fs::create_directories(m_bin);
    auto installed = Install();
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_out << installed.m_err;

    for (const char* program : {"/bin/Vantrel", "/bin/Tallisk", "/bin/vantrel-launch", "/sbin/vantrel-reg",
                                "/sbin/vantrel-mountvol", "/libexec/vantrel/Keldrun", "/libexec/vantrel/vantrel-runonce"}) {
        fs::path path = StagedInPrefix(program);
        EXPECT_TRUE(fs::is_regular_file(path)) << program;
        EXPECT_NE(fs::status(path).permissions() & fs::perms::others_exec, fs::perms::none) << program;
    }

    // The install folder holds the two names the programs append to it, as links into /usr,
    // and is the "Path" of the registry.
    const std::string folder = kInstallFolder;
    EXPECT_EQ(fs::read_symlink(Staged(folder + "/Keldrun.exe")), m_prefix + "/libexec/vantrel/Keldrun");
    EXPECT_EQ(fs::read_symlink(Staged(folder + "/Vantrel.chm")), m_prefix + "/share/vantrel/Vantrel.chm");
    EXPECT_TRUE(fs::is_regular_file(StagedInPrefix("/share/vantrel/Vantrel.chm")));
    EXPECT_EQ(InstallFolderValue(), folder + "/");
    EXPECT_EQ(ViewerValue(), std::nullopt) << "no CHM viewer in PATH";
    for (const char* setting : {"SafeModeOnly", "DontUseSafeMode", "ChooseSafeMode", "FastMode"})
        EXPECT_EQ(CRegistry().GetDword(platform::RegRoot::LocalMachine, kVantrelKey, setting), -1) << setting;

    // The unit is installed but not enabled: its link under /etc belongs to the machine.
    std::string unit = Text(StagedInPrefix("/lib/systemd/system/vantrel-runonce.service"));
    EXPECT_NE(unit.find("ExecStart=" + m_prefix + "/libexec/vantrel/vantrel-runonce\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("TTYPath=/dev/tty1\n"), std::string::npos);
    EXPECT_NE(unit.find("\nBefore=local-fs-pre.target"), std::string::npos) << unit;
    EXPECT_NE(unit.find("[Install]\nWantedBy=sysinit.target\n"), std::string::npos);
    for (const std::string& file : StagedFiles())
        EXPECT_EQ(file.find(".wants/"), std::string::npos) << file;

    std::string desktop = Text(StagedInPrefix("/share/applications/com.tembric.Vantrel.desktop"));
    // The menu starts the launcher, which starts the installed Vantrel with the system's tools.
    EXPECT_NE(desktop.find("\nExec=" + m_prefix + "/bin/vantrel-launch\n"), std::string::npos) << desktop;
    std::string launcher = Text(StagedInPrefix("/bin/vantrel-launch"));
    EXPECT_NE(launcher.find("\nreadonly program=" + m_prefix + "/bin/Vantrel\n"), std::string::npos) << launcher;
    EXPECT_NE(launcher.find("\nexport PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"), std::string::npos);
    EXPECT_EQ(launcher.find('@'), std::string::npos) << "a token was left unreplaced";
    EXPECT_NE(desktop.find("\nIcon=com.tembric.Vantrel\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nCategories=System;Filesystem;\n"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(StagedInPrefix("/share/icons/hicolor/scalable/apps/com.tembric.Vantrel.svg")));
    EXPECT_TRUE(fs::is_regular_file(StagedInPrefix("/share/metainfo/com.tembric.Vantrel.metainfo.xml")));
    EXPECT_NE(Text(Staged("/usr/share/polkit-1/actions/com.tembric.vantrel.policy"))
                  .find("<annotate key=\"org.freedesktop.policykit.exec.path\">" + m_prefix + "/bin/Vantrel</annotate>"),
              std::string::npos);
    for (const char* page : {"man1/Vantrel.1", "man1/vantrel-launch.1", "man1/Tallisk.1", "man8/Keldrun.8", "man8/vantrel-runonce.8",
                             "man8/vantrel-reg.8", "man8/vantrel-mountvol.8"})
        EXPECT_TRUE(fs::is_regular_file(StagedInPrefix(std::string("/share/man/") + page))) << page;
}

TEST_F(InstallTest, RegistersTheHelpViewerFoundAndUninstallTakesBackAllButTheUsersFiles)
{
    fs::create_directories(m_bin);
    const std::string viewer = m_bin + "/xchm";
    std::ofstream(viewer) << "#!/bin/sh\n";
    fs::permissions(viewer, fs::perms::owner_all);
    auto installed = Install();
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_out << installed.m_err;
    EXPECT_EQ(ViewerValue(), viewer);
    // A staged tree is for another machine: the unit's enabling is only shown.
    EXPECT_NE(installed.m_out.find("systemctl enable vantrel-runonce.service"), std::string::npos) << installed.m_out;

    // A report written by a clone and the store's settings are the machine's: they stay.
    // A Safe Mode clone still waiting goes: nothing would run it at boot, and a later
    // install must not carry it out; another program's entry is not the install's.
    const std::string report = std::string(kInstallFolder) + "/Report.txt";
    std::ofstream(Staged(report)) << "Done => 0\n";
    ASSERT_TRUE(CRegistry().SetDword(platform::RegRoot::LocalMachine, kVantrelKey, "FastMode", 0));
    CRegistry runOnce;
    ASSERT_TRUE(runOnce.CreateKey(platform::RegRoot::LocalMachine, kRunOnceKey));
    ASSERT_TRUE(runOnce.Open(platform::RegRoot::LocalMachine, kRunOnceKey));
    ASSERT_TRUE(runOnce.WriteString("Vantrel Clone Partition", "\"/var/lib/vantrel/Keldrun.exe\" C: D: NTFS 0 1 \"/\""));
    ASSERT_TRUE(runOnce.WriteString("Other", "/usr/bin/true"));
    auto uninstalled = Uninstall();
    ASSERT_EQ(uninstalled.m_exitCode, 0) << uninstalled.m_out << uninstalled.m_err;

    EXPECT_EQ(StagedFiles(), std::vector<std::string>{report});
    EXPECT_EQ(InstallFolderValue(), std::nullopt);
    EXPECT_EQ(ViewerValue(), std::nullopt);
    EXPECT_EQ(CRegistry().GetDword(platform::RegRoot::LocalMachine, kVantrelKey, "FastMode"), 0);
    EXPECT_EQ(Value(platform::RegRoot::LocalMachine, kRunOnceKey, "Vantrel Clone Partition"), std::nullopt);
    EXPECT_EQ(Value(platform::RegRoot::LocalMachine, kRunOnceKey, "Other"), "/usr/bin/true");
    EXPECT_FALSE(fs::exists(StagedInPrefix("/libexec/vantrel")));
    EXPECT_FALSE(fs::exists(StagedInPrefix("/share/vantrel")));

    // Without the report the install folder goes too.
    fs::remove(Staged(report));
    installed = Install();
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_err;
    uninstalled = Uninstall();
    ASSERT_EQ(uninstalled.m_exitCode, 0) << uninstalled.m_err;
    EXPECT_FALSE(fs::exists(Staged(kInstallFolder)));
    EXPECT_TRUE(StagedFiles().empty());
}

}  // namespace
