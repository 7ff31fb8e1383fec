#include "platform/files/TextFiles.h"
#include "settings/Registry.h"
#include "tests/bootclone/ProgramRun.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr const char* kVantrelKey = "Software\\Tembric\\Vantrel";

// Sets an environment variable for the life of the object.
class CEnvironment {
public:
    CEnvironment(const char* name, const std::string& value) : m_name(name) { setenv(name, value.c_str(), 1); }
    ~CEnvironment() { unsetenv(m_name); }

private:
    const char* m_name;
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
    testsupport::CProgramResult Install() { return Cmake({"--install", BUILD_DIR}); }
    testsupport::CProgramResult Uninstall() { return Cmake({"-P", std::string(BUILD_DIR) + "/packaging/Uninstall.cmake"}); }

    // A path of the installed tree, prefix included.
    fs::path Staged(const std::string& path) const { return m_stage + path; }
    std::string Text(const std::string& path) const
    {
        return platform::ReadWholeFile(Staged(path).string()).value_or("");
    }
    std::optional<std::string> InstallFolderValue()
    {
        CRegistry registry;
        std::string folder;
        if (!registry.Open(platform::RegRoot::LocalMachine, kVantrelKey) || !registry.ReadString("Path", folder))
            return std::nullopt;
        return folder;
    }

    testsupport::CTempMachine m_machine;
    std::string m_stage = m_machine.Path("stage");
    CEnvironment m_destDir{"DESTDIR", m_stage};
    const std::string m_prefix = INSTALL_PREFIX;
};

TEST_F(InstallTest, InstallsTheProgramsTheBootUnitAndTheInstallFolderAndUninstallTakesThemAway)
{
    auto installed = Install();
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_out << installed.m_err;

    const std::vector<std::string> programs{INSTALLED_PROGRAMS};
    for (const std::string& program : programs)
        EXPECT_TRUE(fs::is_regular_file(Staged(m_prefix + "/bin/" + program))) << program;

    // Keldrun.exe in the install folder starts Keldrun, also from a staged tree.
    fs::path keldrunExe = Staged(m_prefix + "/lib/vantrel/Keldrun.exe");
    ASSERT_TRUE(fs::is_symlink(keldrunExe));
    EXPECT_TRUE(fs::read_symlink(keldrunExe).is_relative());
    EXPECT_TRUE(fs::equivalent(keldrunExe, Staged(m_prefix + "/bin/Keldrun")));

    std::string unit = Text(m_prefix + "/lib/systemd/system/vantrel-runonce.service");
    EXPECT_NE(unit.find("ExecStart=" + m_prefix + "/bin/vantrel-runonce\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("TTYPath=/dev/tty1\n"), std::string::npos);
    EXPECT_NE(unit.find("\nBefore=local-fs-pre.target"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Type=oneshot\n"), std::string::npos);
    fs::path wanted = Staged(m_prefix + "/lib/systemd/system/multi-user.target.wants/vantrel-runonce.service");
    EXPECT_TRUE(fs::equivalent(wanted, Staged(m_prefix + "/lib/systemd/system/vantrel-runonce.service")));

    EXPECT_NE(Text(m_prefix + "/share/applications/vantrel.desktop").find("\nExec=pkexec " + m_prefix + "/bin/Vantrel\n"),
              std::string::npos);
    EXPECT_NE(Text("/usr/share/polkit-1/actions/com.tembric.vantrel.policy")
                  .find("<annotate key=\"org.freedesktop.policykit.exec.path\">" + m_prefix + "/bin/Vantrel</annotate>"),
              std::string::npos);

    EXPECT_EQ(InstallFolderValue(), m_prefix + "/lib/vantrel/");
    CRegistry registry;
    for (const char* setting : {"SafeModeOnly", "DontUseSafeMode", "ChooseSafeMode", "FastMode"})
        EXPECT_EQ(registry.GetDword(platform::RegRoot::LocalMachine, kVantrelKey, setting), -1) << setting;

    // A report written by a clone is the user's: it stays, and so does its folder.
    std::ofstream(Staged(m_prefix + "/lib/vantrel/Report.txt")) << "Done => 0\n";
    auto uninstalled = Uninstall();
    ASSERT_EQ(uninstalled.m_exitCode, 0) << uninstalled.m_out << uninstalled.m_err;

    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(m_stage))
        if (!entry.is_directory() || fs::is_symlink(entry.path()))
            left.push_back(entry.path().string().substr(m_stage.size()));
    EXPECT_EQ(left, std::vector<std::string>{m_prefix + "/lib/vantrel/Report.txt"});
    EXPECT_EQ(InstallFolderValue(), std::nullopt);

    // Without the report the folder goes too.
    fs::remove(Staged(m_prefix + "/lib/vantrel/Report.txt"));
    installed = Install();
    ASSERT_EQ(installed.m_exitCode, 0) << installed.m_err;
    uninstalled = Uninstall();
    ASSERT_EQ(uninstalled.m_exitCode, 0) << uninstalled.m_err;
    EXPECT_FALSE(fs::exists(Staged(m_prefix + "/lib/vantrel")));
}

}  // namespace
