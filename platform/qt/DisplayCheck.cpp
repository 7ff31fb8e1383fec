// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DisplayCheck.h"

#include <xcb/xcb.h>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string UserName()
{
    const passwd* entry = getpwuid(geteuid());
    return entry != nullptr ? entry->pw_name : "uid " + std::to_string(geteuid());
}

// Whether something listens on the local socket of X display number, the abstract one
// or the one in /tmp/.X11-unix, as X servers on Linux offer both.
bool LocalXServerListens(int number)
{
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    for (bool abstract : {true, false}) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
        close(fd);
        if (connected)
            return true;
    }
    return false;
}

// Whether something other than a file or /dev/null is at path. libxcb reads the keys in
// XAUTHORITY before it connects, and never returns from a FIFO nobody writes or from a
// device such as /dev/zero; a path where nothing is only gives no keys.
bool IsNoFile(const std::string& path)
{
    struct stat keys {};
    struct stat null {};
    if (path.empty() || stat(path.c_str(), &keys) != 0 || S_ISREG(keys.st_mode))
        return false;
    const bool isNull = S_ISCHR(keys.st_mode) && stat("/dev/null", &null) == 0 && keys.st_rdev == null.st_rdev;
    return !isNull;
}

// Why the X display cannot be used, or nothing. A refusal and a display where nobody
// listens both fail the connection alike; the local socket tells them apart.
std::optional<std::string> WhyNoXConnection(const std::string& display)
{
    char* host = nullptr;
    int number = 0;
    int screen = 0;
    if (xcb_parse_display(display.c_str(), &host, &number, &screen) == 0)
        return NotADisplayName(display);
    const std::unique_ptr<char, decltype(&std::free)> hostName(host, &std::free);
    if (const std::string keys = Environment("XAUTHORITY"); IsNoFile(keys))
        return XAuthorityNotAFile(keys);
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const int error = xcb_connection_has_error(connection);
    const int screens = error == 0 ? xcb_setup_roots_length(xcb_get_setup(connection)) : 0;
    xcb_disconnect(connection);
    if (error == 0)
        return screen < screens ? std::nullopt : std::optional<std::string>(NoSuchScreen(display, screen));
    if (error == XCB_CONN_CLOSED_PARSE_ERR)
        return NotADisplayName(display);
    if (error == XCB_CONN_CLOSED_INVALID_SCREEN)
        return NoSuchScreen(display, screen);
    const bool local = *host == '\0' || std::strcmp(host, "unix") == 0;
    if (!local)
        return XServerUnreachable(display);
    if (!LocalXServerListens(number))
        return NoXServerAt(display);
    return XServerRefused(display, UserName());
}

}  // namespace

std::string NotADisplayName(const std::string& display)
{
    return "DISPLAY \"" + display + "\" is not the name of an X display";
}

std::string NoXServerAt(const std::string& display)
{
    return "no X server answers at the display " + display;
}

std::string NoSuchScreen(const std::string& display, int screen)
{
    return "the X display " + display + " has no screen " + std::to_string(screen);
}

std::string XServerRefused(const std::string& display, const std::string& user)
{
    return "the X display " + display + " refused user " + user +
           " (not on its access list, and no key to it in XAUTHORITY)";
}

std::string XServerUnreachable(const std::string& display)
{
    return "the X display " + display + " cannot be reached";
}

std::string XAuthorityNotAFile(const std::string& path)
{
    return "XAUTHORITY \"" + path + "\" is not a file of X keys";
}

std::optional<std::string> WhyNoWindow()
{
    const std::string display = Environment("DISPLAY");
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (!platform.empty()) {
        // Only xcb, alone and without fallbacks, is checked: "xcb" or "xcb:options".
        if (platform.substr(0, platform.find(':')) != "xcb")
            return std::nullopt;
        return display.empty() ? std::optional<std::string>(kNoXDisplay) : WhyNoXConnection(display);
    }
    if (!Environment("WAYLAND_DISPLAY").empty())
        return std::nullopt;
    return display.empty() ? std::optional<std::string>(kNoDisplay) : WhyNoXConnection(display);
}

}  // namespace platform
