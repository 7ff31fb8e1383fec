// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/TextFiles.h"
#include "platform/qt/DisplayCheck.h"
#include "tests/support/TempMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kUserOnly = "access control enabled, only authorized clients can connect\nSI:localuser:alice\n";
constexpr const char* kRootToo =
    "access control enabled, only authorized clients can connect\nSI:localuser:alice\nSI:localuser:root\n";

// The session's X access list, one file per X server (:0, unix:0 and :0.1 name one),
// changed and shown as xhost does. Files in the machine's folder make it refuse changes
// (refuse-changes), wait once it has added an entry (hold-addition, telling so with
// adding) or fail after adding it (addition-fails).
constexpr const char* kFakeXhost = R"(#!/bin/sh
r=$VANTREL_SYSTEM_ROOT display=${DISPLAY#unix}
list=$r/xhost${display%.*}
[ -e "$list" ] || { echo "xhost:  unable to open display \"$DISPLAY\"" >&2; exit 1; }
echo "xhost $*" >> "$r/calls"
[ -n "${1:-}" ] && [ -e "$r/refuse-changes" ] && exit 1
case ${1:-} in
  '') cat "$list" ;;
  +*) grep -qx "${1#+}" "$list" || echo "${1#+}" >> "$list"
      [ -e "$r/hold-addition" ] && : > "$r/adding"
      while [ -e "$r/hold-addition" ]; do sleep 0.05; done
      [ ! -e "$r/addition-fails" ] ;;
  -*) [ -e "$r/slow-removal" ] && sleep 0.5
      grep -vx -- "${1#-}" "$list" > "$list.new"; mv "$list.new" "$list" ;;
esac
)";

// rm, slow when the test asks: what a launcher does after it has taken root back.
constexpr const char* kSlowRm = R"(#!/bin/sh
[ -e "$VANTREL_SYSTEM_ROOT/slow-removal" ] && sleep 0.5
exec /bin/rm "$@"
)";

// pkexec with the action's allow_gui: root gets DISPLAY and XAUTHORITY, nothing else of
// the session; the answer file says whether the password is refused or dismissed.
constexpr const char* kFakePkexec = R"(#!/bin/sh
r=$VANTREL_SYSTEM_ROOT
echo "pkexec $*" >> "$r/calls"
case $(cat "$r/answer" 2>/dev/null) in
  dismiss) echo "Error executing command as another user: Request dismissed" >&2; exit 126 ;;
  refuse) echo "Error executing command as another user: Not authorized" >&2; exit 127 ;;
esac
exec env -i VANTREL_SYSTEM_ROOT="$r" DISPLAY="$DISPLAY" ${XAUTHORITY+XAUTHORITY="$XAUTHORITY"} "$@"
)";

// Vantrel: notes its environment, the access list it found and the launchers' lock files
// it was handed, then ends as the behaviour file says (wait: until the test removes its
// file in running/).
constexpr const char* kFakeVantrel = R"(#!/bin/sh
r=$VANTREL_SYSTEM_ROOT
echo "DISPLAY=$DISPLAY XAUTHORITY=${XAUTHORITY-unset} WAYLAND_DISPLAY=${WAYLAND_DISPLAY-unset}" >> "$r/started"
cat "$r/xhost$DISPLAY" > "$r/list-while-running" 2>/dev/null
ls -l /proc/$$/fd | grep -o 'vantrel-launch-[^ ]*' >> "$r/inherited"
case $(cat "$r/behaviour" 2>/dev/null) in
  nowindow) cat "$r/said" >&2; exit 1 ;;
  killed) kill -KILL $$ ;;
  wait) mkdir -p "$r/running"; : > "$r/running/$$"
        while [ -e "$r/running/$$" ]; do sleep 0.05; done ;;
esac
exit 0
)";

// notify-send, that hangs deaf to SIGTERM while the test keeps hold-notification.
constexpr const char* kFakeNotifySend = R"(#!/bin/sh
printf '%s\n' "$*" >> "$VANTREL_SYSTEM_ROOT/notified"
trap '' TERM
while [ -e "$VANTREL_SYSTEM_ROOT/hold-notification" ]; do sleep 0.05; done
)";

// A program started in the background with an empty environment, waited for with a bound;
// its standard error goes to errFile, its output beside it (errFile.out).
class CBackground {
public:
    CBackground(const std::vector<std::string>& argv, const std::string& errFile)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (errFile + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        char* noEnvironment[] = {nullptr};
        if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), noEnvironment) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CBackground()
    {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    CBackground(const CBackground&) = delete;
    CBackground& operator=(const CBackground&) = delete;

    void Signal(int signal) const { kill(m_pid, signal); }
    // Whether a child of the program runs command, within five seconds.
    bool WaitsIn(const std::string& command) const
    {
        const std::string task = "/proc/" + std::to_string(m_pid) + "/task/" + std::to_string(m_pid);
        for (int i = 0; i < 500; ++i) {
            std::istringstream children(platform::ReadWholeFile(task + "/children").value_or(""));
            for (pid_t child = 0; children >> child;)
                if (platform::ReadWholeFile("/proc/" + std::to_string(child) + "/comm") == command + "\n")
                    return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    // The exit status, 128 + the signal for a killed program; nothing when it was still
    // running after ten seconds (it is killed then).
    std::optional<int> Wait()
    {
        if (m_pid <= 0 || m_status)
            return m_status;
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 1000 && ended == 0; ++i) {
            ended = waitpid(m_pid, &status, WNOHANG);
            if (ended == 0)
                std::this_thread::sleep_for(10ms);
        }
        if (ended == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_status;
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_status = -1;
        return std::nullopt;
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// An exclusive lock on a file, as the launchers take them, held by the test.
class CHeldLock {
public:
    explicit CHeldLock(const std::string& path) : m_fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        m_held = m_fd >= 0 && flock(m_fd, LOCK_EX) == 0;
    }
    ~CHeldLock()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CHeldLock(const CHeldLock&) = delete;
    CHeldLock& operator=(const CHeldLock&) = delete;
    bool Held() const { return m_held; }

private:
    int m_fd;
    bool m_held = false;
};

// The desktop entry's launcher, taken from its template with this machine's folder of
// doubles (pkexec, xhost, notify-send and Vantrel) in place of the system's folders.
class LauncherTest : public ::testing::Test {
protected:
    LauncherTest()
    {
        fs::create_directories(m_bin);
        fs::create_directories(m_machine.Path("home"));
        fs::create_directories(m_machine.Path("hostile"));
        fs::create_directories(m_machine.Path("tmp"));
        fs::create_directory(m_runtime);
        fs::permissions(m_runtime, fs::perms::owner_all, fs::perm_options::replace);
        Script(m_bin + "/xhost", kFakeXhost);
        Script(m_bin + "/pkexec", kFakePkexec);
        Script(m_bin + "/Vantrel", kFakeVantrel);
        Script(m_bin + "/notify-send", kFakeNotifySend);
        Script(m_bin + "/rm", kSlowRm);
        // What a PATH of the session could offer instead of the system's tools.
        for (const char* tool : {"pkexec", "xhost", "notify-send"})
            Script(m_machine.Path("hostile/") + tool, "#!/bin/sh\ntouch \"$VANTREL_SYSTEM_ROOT/hostile-ran\"\n");

        std::string launcher = platform::ReadWholeFile(LAUNCHER_TEMPLATE).value_or("");
        Replace(launcher, "@VANTREL_LAUNCH_PATH@", m_bin + ":/usr/bin:/bin");
        Replace(launcher, "@VANTREL_PROGRAM@", m_bin + "/Vantrel");
        Replace(launcher, "@PROJECT_VERSION@", "9.9");
        Script(m_launcher, launcher);
        SetList(":0", kUserOnly);
    }

    static void Script(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::trunc) << text;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
    }
    static void Replace(std::string& text, const std::string& token, const std::string& value)
    {
        for (std::size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, token.size(), value);
    }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(m_machine.Path(name), std::ios::trunc) << text;
    }
    std::string Read(const std::string& name) const
    {
        return platform::ReadWholeFile(m_machine.Path(name)).value_or("");
    }
    void SetList(const std::string& display, const std::string& list) const { Write("xhost" + display, list); }
    std::string List(const std::string& display = ":0") const { return Read("xhost" + display); }
    // The xhost calls that changed an access list.
    std::string Changes() const
    {
        std::string changes;
        std::istringstream calls(Read("calls"));
        for (std::string line; std::getline(calls, line);)
            if (line.rfind("xhost +", 0) == 0 || line.rfind("xhost -", 0) == 0)
                changes += line + "\n";
        return changes;
    }

    // The session's environment: a Wayland session on :0 unless changed.
    std::vector<std::string> Environment() const
    {
        std::vector<std::string> environment{"/usr/bin/env", "-i",
                                             "VANTREL_SYSTEM_ROOT=" + m_machine.Root(),
                                             "HOME=" + m_machine.Path("home"),
                                             "TMPDIR=" + m_machine.Path("tmp"),
                                             "PATH=" + m_machine.Path("hostile") + ":/usr/bin:/bin"};
        for (const auto& [name, value] : m_session)
            if (!value.empty())
                environment.push_back(name + "=" + value);
        environment.push_back(m_launcher);
        return environment;
    }
    std::unique_ptr<CBackground> Start(const std::vector<std::string>& arguments = {})
    {
        std::vector<std::string> argv = Environment();
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return std::make_unique<CBackground>(argv, m_machine.Path("launcher-err-" + std::to_string(m_started++)));
    }
    std::optional<int> Launch(const std::vector<std::string>& arguments = {}) { return Start(arguments)->Wait(); }
    std::string LastErrors() const { return Read("launcher-err-" + std::to_string(m_started - 1)); }

    // Whether the file appears in the machine's folder within ten seconds.
    bool Appears(const std::string& name) const
    {
        for (int i = 0; i < 1000; ++i) {
            if (fs::exists(m_machine.Path(name)))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // The fake Vantrels that wait, once count of them do.
    std::vector<fs::path> Running(std::size_t count) const
    {
        std::vector<fs::path> running;
        for (int i = 0; i < 1000 && running.size() < count; ++i) {
            running.clear();
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(m_machine.Path("running"), error))
                running.push_back(entry.path());
            if (running.size() < count)
                std::this_thread::sleep_for(10ms);
        }
        return running;
    }

    testsupport::CTempMachine m_machine;
    std::string m_bin = m_machine.Path("bin");
    std::string m_runtime = m_machine.Path("run");
    std::string m_launcher = m_machine.Path("vantrel-launch");
    std::map<std::string, std::string> m_session{
        {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_RUNTIME_DIR", m_runtime}};
    int m_started = 0;
};

TEST_F(LauncherTest, OnWaylandRootIsAllowedOnlyWhileVantrelRunsAndTakenBackHoweverItEnds)
{
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(Read("list-while-running"), kRootToo);
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_EQ(Changes(), "xhost +SI:localuser:root\nxhost -SI:localuser:root\n");
    EXPECT_EQ(Read("started"), "DISPLAY=:0 XAUTHORITY=unset WAYLAND_DISPLAY=unset\n");
    EXPECT_EQ(Read("notified"), "") << "nothing to tell";
    EXPECT_FALSE(fs::exists(m_machine.Path("hostile-ran"))) << "a tool of the session's PATH ran";
    EXPECT_EQ(Read("inherited"), "") << "Vantrel holds the launchers' locks";
    EXPECT_EQ(Read("calls"), "xhost \nxhost +SI:localuser:root\npkexec " + m_bin + "/Vantrel\nxhost -SI:localuser:root\n");

    // Vantrel that cannot show its window: what it said reaches the user.
    const std::string why = platform::XServerRefused(":0", "root");
    Write("behaviour", "nowindow");
    Write("said", "Authorization required, but no authorization protocol specified\nVantrel: cannot show a window: " +
                      why + "\n");
    EXPECT_EQ(Launch(), 1);
    EXPECT_NE(LastErrors().find("Vantrel: cannot show a window: " + why), std::string::npos) << LastErrors();
    EXPECT_EQ(Read("notified"), "--app-name=Vantrel --icon=com.tembric.Vantrel --urgency=critical "
                                "Vantrel cannot show its window " + why + "\n");
    EXPECT_EQ(List(), kUserOnly);

    // Killed, or never started for want of the password.
    fs::remove(m_machine.Path("notified"));
    Write("behaviour", "killed");
    EXPECT_EQ(Launch(), 128 + SIGKILL);
    EXPECT_NE(Read("notified").find("Vantrel ended unexpectedly it was stopped by signal KILL"), std::string::npos)
        << Read("notified");
    EXPECT_EQ(List(), kUserOnly);
    fs::remove(m_machine.Path("notified"));
    fs::remove(m_machine.Path("started"));
    Write("answer", "dismiss");
    EXPECT_EQ(Launch(), 126);
    EXPECT_EQ(Read("notified"), "") << "the user said no himself";
    Write("answer", "refuse");
    EXPECT_EQ(Launch(), 127);
    EXPECT_NE(Read("notified").find("Vantrel was not started Error executing command as another user: Not authorized"),
              std::string::npos)
        << Read("notified");
    EXPECT_EQ(Read("started"), "");
    EXPECT_EQ(List(), kUserOnly);
    std::string everyTime;
    for (int launch = 0; launch < 5; ++launch)
        everyTime += "xhost +SI:localuser:root\nxhost -SI:localuser:root\n";
    EXPECT_EQ(Changes(), everyTime);
}

TEST_F(LauncherTest, AnAccessListThatAlreadyAdmitsRootIsLeftAsItWas)
{
    SetList(":0", kRootToo);
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kRootToo);
    const std::string open = "access control disabled, clients can connect from any host\nSI:localuser:alice\n";
    SetList(":0", open);
    Write("behaviour", "killed");
    EXPECT_EQ(Launch(), 128 + SIGKILL);
    EXPECT_EQ(List(), open);
    EXPECT_EQ(Changes(), "");
}

TEST_F(LauncherTest, OnX11TheListIsNotTouchedAndRootGetsTheUsersKey)
{
    m_session.erase("WAYLAND_DISPLAY");
    std::ofstream(m_machine.Path("home/.Xauthority")) << "key";
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(Read("started"), "DISPLAY=:0 XAUTHORITY=" + m_machine.Path("home/.Xauthority") +
                                   " WAYLAND_DISPLAY=unset\n");
    EXPECT_EQ(Read("calls").find("xhost"), std::string::npos) << Read("calls");

    // A key named relative to the folder the launcher was started in.
    fs::remove(m_machine.Path("started"));
    m_session["XAUTHORITY"] = "home/.Xauthority";
    auto argv = Environment();
    argv.insert(argv.begin() + 2, "--chdir=" + m_machine.Root());
    CBackground launcher(argv, m_machine.Path("launcher-err"));
    EXPECT_EQ(launcher.Wait(), 0);
    EXPECT_EQ(Read("started"), "DISPLAY=:0 XAUTHORITY=" + m_machine.Path("home/.Xauthority") +
                                   " WAYLAND_DISPLAY=unset\n");
}

TEST_F(LauncherTest, LaunchersOnOneDisplayShareTheGrantAndTheLastToEndTakesItBack)
{
    Write("behaviour", "wait");
    auto first = Start();
    std::vector<fs::path> running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    const fs::path firstVantrel = running[0];
    auto second = Start();
    running = Running(2);
    ASSERT_EQ(running.size(), 2u);
    const fs::path secondVantrel = running[0] == firstVantrel ? running[1] : running[0];
    EXPECT_EQ(List(), kRootToo);
    // The first to start ends first: the second still needs root on the display.
    fs::remove(firstVantrel);
    EXPECT_EQ(first->Wait(), 0);
    EXPECT_EQ(List(), kRootToo);
    fs::remove(secondVantrel);
    EXPECT_EQ(second->Wait(), 0);
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_EQ(Changes(), "xhost +SI:localuser:root\nxhost -SI:localuser:root\n");

    // A launcher that starts while the last one is taking root back finds the display
    // free once that one lets go of it, and allows root again for its own Vantrel.
    auto ending = Start();
    running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    Write("slow-removal", "");
    fs::remove(running[0]);
    std::this_thread::sleep_for(200ms);
    Write("behaviour", "");
    auto starting = Start();
    EXPECT_EQ(ending->Wait(), 0);
    EXPECT_EQ(starting->Wait(), 0);
    EXPECT_EQ(Read("list-while-running"), kRootToo);
    EXPECT_EQ(List(), kUserOnly);
    fs::remove(m_machine.Path("slow-removal"));
    Write("behaviour", "wait");

    // Another display is another list.
    SetList(":1", kUserOnly);
    auto onZero = Start();
    ASSERT_EQ(Running(1).size(), 1u);
    m_session["DISPLAY"] = ":1";
    auto onOne = Start();
    running = Running(2);
    ASSERT_EQ(running.size(), 2u);
    EXPECT_EQ(List(":1"), kRootToo);
    for (const fs::path& vantrel : running)
        fs::remove(vantrel);
    EXPECT_EQ(onZero->Wait(), 0);
    EXPECT_EQ(onOne->Wait(), 0);
    EXPECT_EQ(List(":0"), kUserOnly);
    EXPECT_EQ(List(":1"), kUserOnly);
}

TEST_F(LauncherTest, AStoppedLauncherTakesRootBackOnceVantrelEndsAndAKilledOnesIsTakenBackByTheNext)
{
    Write("behaviour", "wait");
    auto stopped = Start();
    std::vector<fs::path> running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    stopped->Signal(SIGTERM);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(List(), kRootToo) << "Vantrel still runs";
    fs::remove(running[0]);
    EXPECT_EQ(stopped->Wait(), 128 + SIGTERM);
    EXPECT_EQ(List(), kUserOnly);

    auto killed = Start();
    running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    killed->Signal(SIGKILL);
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    fs::remove(running[0]);
    EXPECT_EQ(List(), kRootToo) << "nobody was left to take it back";
    Write("behaviour", "");
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);

    // Stopped, then stopped again while it waits to take root back: it still does.
    Write("behaviour", "wait");
    auto twice = Start();
    running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    twice->Signal(SIGTERM);
    {
        CHeldLock guard(m_runtime + "/vantrel-launch-0.lock");
        ASSERT_TRUE(guard.Held());
        fs::remove(running[0]);
        ASSERT_TRUE(twice->WaitsIn("flock"));
        twice->Signal(SIGHUP);
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(twice->Wait(), 128 + SIGTERM);
    EXPECT_EQ(List(), kUserOnly);
}

TEST_F(LauncherTest, AnEntryXhostMayHaveAddedIsTakenBackWhenXhostIsInterruptedOrFails)
{
    // Stopped while xhost adds root: the launcher ends once xhost has, without starting
    // Vantrel, and takes root back.
    Write("hold-addition", "");
    auto stopped = Start();
    ASSERT_TRUE(Appears("adding"));
    stopped->Signal(SIGTERM);
    fs::remove(m_machine.Path("hold-addition"));
    EXPECT_EQ(stopped->Wait(), 128 + SIGTERM);
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_EQ(Read("calls").find("pkexec"), std::string::npos) << Read("calls");

    // Killed then: the next launcher takes it back.
    fs::remove(m_machine.Path("adding"));
    Write("hold-addition", "");
    auto killed = Start();
    ASSERT_TRUE(Appears("adding"));
    killed->Signal(SIGKILL);
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    fs::remove(m_machine.Path("hold-addition"));
    EXPECT_EQ(List(), kRootToo);
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);

    // xhost failing after the X server took the entry, and an X server that takes none.
    Write("addition-fails", "");
    EXPECT_EQ(Launch(), 1);
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_NE(Read("notified").find("does not take SI:localuser:root into its access list"), std::string::npos)
        << Read("notified");
    Write("refuse-changes", "");
    EXPECT_EQ(Launch(), 1);
    EXPECT_EQ(LastErrors().find("could not be taken off"), std::string::npos) << "it was never on: " << LastErrors();
    fs::remove(m_machine.Path("refuse-changes"));
    fs::remove(m_machine.Path("addition-fails"));
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);
}

TEST_F(LauncherTest, RootIsTakenBackBeforeTheUserIsToldSoANotificationThatHangsKeepsItNot)
{
    Write("behaviour", "nowindow");
    Write("said", "Vantrel: cannot show a window: " + platform::XServerRefused(":0", "root") + "\n");
    Write("hold-notification", "");
    auto launcher = Start();
    ASSERT_TRUE(Appears("notified"));
    EXPECT_EQ(List(), kUserOnly);
    fs::remove(m_machine.Path("hold-notification"));
    EXPECT_EQ(launcher->Wait(), 1);
}

TEST_F(LauncherTest, TheNamesOfOneXServerShareOneGrantAndNamesWrittenOddlyGetNone)
{
    // Killed on :0.1; the next launcher, on unix:0, takes its entry back.
    m_session["DISPLAY"] = ":0.1";
    Write("behaviour", "wait");
    auto killed = Start();
    std::vector<fs::path> running = Running(1);
    ASSERT_EQ(running.size(), 1u);
    killed->Signal(SIGKILL);
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    fs::remove(running[0]);
    EXPECT_EQ(List(), kRootToo);
    m_session["DISPLAY"] = "unix:0";
    Write("behaviour", "");
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);

    // libxcb reads these as display 0 as well.
    fs::remove(m_machine.Path("calls"));
    for (const char* display : {":00", ":4294967296"}) {
        m_session["DISPLAY"] = display;
        EXPECT_EQ(Launch(), 0) << display << ": " << LastErrors();
    }
    EXPECT_EQ(Read("calls").find("xhost"), std::string::npos) << Read("calls");
}

TEST_F(LauncherTest, StateFilesThatAreFifosNeitherHangTheLauncherNorKeepRoot)
{
    for (const char* name : {"lock", "holders", "ours"})
        ASSERT_EQ(mkfifo((m_runtime + "/vantrel-launch-0." + name).c_str(), 0600), 0);
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_EQ(Changes(), "xhost +SI:localuser:root\nxhost -SI:localuser:root\n");
}

TEST_F(LauncherTest, TheSessionsShellFunctionsAndStartupFileAreNotTakenIn)
{
    const std::string hostile = "touch \"$VANTREL_SYSTEM_ROOT/hostile-ran\"";
    Script(m_machine.Path("hostile/startup"), hostile + "\n");
    m_session["BASH_ENV"] = m_machine.Path("hostile/startup");
    m_session["SHELLOPTS"] = "xtrace";
    for (const char* tool : {"pkexec", "flock", "timeout"})
        m_session[std::string("BASH_FUNC_") + tool + "%%"] = "() { " + hostile + "; }";
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_FALSE(fs::exists(m_machine.Path("hostile-ran")));
    EXPECT_EQ(Read("calls"), "xhost \nxhost +SI:localuser:root\npkexec " + m_bin + "/Vantrel\nxhost -SI:localuser:root\n");
    EXPECT_EQ(LastErrors(), "");
}

TEST_F(LauncherTest, AWaylandSessionWithoutXOrWithAForeignDisplayGetsNoGrant)
{
    m_session.erase("DISPLAY");
    EXPECT_EQ(Launch(), 1);
    EXPECT_NE(Read("notified").find("Vantrel cannot show its window this Wayland session has no X server (XWayland)"),
              std::string::npos)
        << Read("notified");
    EXPECT_EQ(Read("calls"), "") << "neither xhost nor pkexec";

    // A display of another machine, and a display that cannot be reached.
    m_session["DISPLAY"] = "otherhost:0";
    SetList("otherhost:0", kUserOnly);
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List("otherhost:0"), kUserOnly);
    EXPECT_EQ(Changes(), "");
    m_session["DISPLAY"] = ":5";
    fs::remove(m_machine.Path("notified"));
    EXPECT_EQ(Launch(), 1);
    EXPECT_NE(Read("notified").find("the X display :5 of this session cannot be reached"), std::string::npos)
        << Read("notified");
    const std::string calls = Read("calls");
    EXPECT_EQ(calls.find("pkexec"), calls.rfind("pkexec")) << "pkexec ran for the unreachable display: " << calls;
    EXPECT_FALSE(fs::exists(m_machine.Path("hostile-ran")));
}

TEST_F(LauncherTest, WithoutXhostAWaylandStartSaysWhatIsMissingAndRunsNothing)
{
    for (const char* folder : {"/usr/bin/xhost", "/bin/xhost"})
        if (fs::exists(folder))
            GTEST_SKIP() << "this machine has " << folder;
    fs::remove(m_bin + "/xhost");
    EXPECT_EQ(Launch(), 1);
    EXPECT_NE(Read("notified").find("xhost (package x11-xserver-utils)"), std::string::npos) << Read("notified");
    EXPECT_EQ(Read("calls"), "");
    EXPECT_TRUE(fs::is_empty(m_runtime));
}

TEST_F(LauncherTest, AFolderForTheSharedStateThatOthersCouldChangeIsNeverUsed)
{
    fs::permissions(m_runtime, fs::perms::all, fs::perm_options::replace);
    EXPECT_EQ(Launch(), 0) << LastErrors();
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_TRUE(fs::is_empty(m_runtime));
    const fs::path fallback = m_machine.Path("tmp/vantrel-launch-" + std::to_string(geteuid()));
    EXPECT_TRUE(fs::is_directory(fallback));
    EXPECT_EQ(fs::status(fallback).permissions(), fs::perms::owner_all);

    // A folder of that name that another user made first is not used either: nothing is
    // granted, pkexec is not run, and the user is told.
    if (geteuid() != 0)
        return;
    fs::remove_all(fallback);
    fs::create_directory(fallback);
    fs::permissions(fallback, fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_EQ(chown(fallback.c_str(), 65534, 65534), 0);
    m_session.erase("XDG_RUNTIME_DIR");
    fs::remove(m_machine.Path("calls"));
    EXPECT_EQ(Launch(), 1);
    EXPECT_EQ(List(), kUserOnly);
    EXPECT_EQ(Read("calls"), "");
    EXPECT_NE(Read("notified").find("no folder of this user's alone"), std::string::npos) << Read("notified");
}

TEST_F(LauncherTest, AnswersHelpAndVersionAndRefusesAnythingElse)
{
    EXPECT_EQ(Launch({"--version"}), 0);
    EXPECT_EQ(Read("launcher-err-0.out"), "vantrel-launch (Vantrel) 9.9\n");
    EXPECT_EQ(Launch({"--help"}), 0);
    EXPECT_EQ(Read("launcher-err-1.out").rfind("Usage: vantrel-launch\n", 0), 0u);
    EXPECT_EQ(Launch({"--display=:3"}), 2);
    EXPECT_NE(LastErrors().find("Usage: vantrel-launch\n"), std::string::npos) << LastErrors();
    EXPECT_EQ(Read("calls"), "");
}

}  // namespace
