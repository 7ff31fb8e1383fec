// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// How many times what occurs in text, a program's output.
inline std::size_t Occurrences(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

struct CProgramResult {
    int m_exitCode = -1;  // -1 when the program could not be started or did not exit
    std::string m_out;
    std::string m_err;
};

// Runs argv[0] (a path) with input on its standard input and waits for it; its output
// and error streams are collected through files in scratchFolder.
CProgramResult RunCaptured(const std::vector<std::string>& argv, const std::string& input,
                           const std::string& scratchFolder);

// argv[0] (a path) started with /dev/null as its standard input and its standard output
// in a pipe that the test reads as it goes; the program is killed and waited for when the
// object goes, if the test has not stopped it.
// Sets VANTREL_WAIT_BOUND_MS for the life of the object: the simulated machine's bound on
// every wait for a device, a key or a tool that only reads.
class CWaitBound {
public:
    explicit CWaitBound(int milliseconds) { setenv("VANTREL_WAIT_BOUND_MS", std::to_string(milliseconds).c_str(), 1); }
    ~CWaitBound() { unsetenv("VANTREL_WAIT_BOUND_MS"); }
    CWaitBound(const CWaitBound&) = delete;
    CWaitBound& operator=(const CWaitBound&) = delete;
};

class CPipedRun {
public:
    explicit CPipedRun(const std::vector<std::string>& argv);
    ~CPipedRun();
    CPipedRun(const CPipedRun&) = delete;
    CPipedRun& operator=(const CPipedRun&) = delete;

    bool Started() const { return m_pid > 0; }
    // Reads until the output holds at least size bytes, or ends; all output read so far.
    const std::string& ReadUntil(std::size_t size);
    // Sends signal, reads the rest of the output and waits for the program: its wait status.
    int Stop(int signal);
    // Reads the rest of the output and waits for the program to end: its wait status.
    int Wait();
    const std::string& Output() const { return m_output; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
    int m_out = -1;
    std::string m_output;
};

// A folder in /tmp that every user may write (the machine's own folder is root's alone),
// removed with what is in it when the object goes. Path() is empty when it could not be made.
class CWorldWritableFolder {
public:
    CWorldWritableFolder();
    ~CWorldWritableFolder();
    CWorldWritableFolder(const CWorldWritableFolder&) = delete;
    CWorldWritableFolder& operator=(const CWorldWritableFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Copies the program at path into the folder, for anyone to run; its copy, or empty
    // when it could not be made.
    std::string CopyProgram(const std::string& path) const;

private:
    std::string m_path;
};

// True when this process may run programs as the user nobody (root, and setpriv there).
bool CanRunAsNobody();

// argv run as the user nobody (through setpriv), from start to Wait().
class CRunAsNobody {
public:
    explicit CRunAsNobody(std::vector<std::string> argv);
    ~CRunAsNobody() { Wait(); }
    CRunAsNobody(const CRunAsNobody&) = delete;
    CRunAsNobody& operator=(const CRunAsNobody&) = delete;

    // Its exit code, or -1; one that still runs is killed first.
    int Wait();

private:
    pid_t m_pid = 0;
    int m_status = -1;
};

}  // namespace testsupport
