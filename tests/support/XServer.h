// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

// An Xvfb of the test's own on a display number it chooses itself, which admits only the
// clients that hold its key (the file Authority()); stopped when the object goes.
class CXServer {
public:
    // The key file is made in folder.
    explicit CXServer(const std::string& folder);
    ~CXServer();
    CXServer(const CXServer&) = delete;
    CXServer& operator=(const CXServer&) = delete;

    // False when Xvfb is not installed or did not start; the reason is in WhyNot().
    bool Started() const { return !m_display.empty(); }
    const std::string& WhyNot() const { return m_whyNot; }
    const std::string& Display() const { return m_display; }  // ":N"
    const std::string& Authority() const { return m_authority; }

private:
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_authority;
    std::string m_whyNot;
};

}  // namespace testsupport
