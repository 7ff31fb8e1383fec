// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// Whether a dialog program can show a window at all, asked before Qt starts: Qt ends the
// program with abort() when its window system cannot be reached, and says why only in
// terms of its plugins.
namespace platform {

// Why no window can be shown on the window system that Qt will choose from the environment
// (QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY), naming what is missing; nothing when a
// window can be shown, or when Qt is left to find out (a Wayland display, another Qt
// platform than xcb).
std::optional<std::string> WhyNoWindow();

// The texts of WhyNoWindow.
inline constexpr const char* kNoDisplay = "no display (DISPLAY and WAYLAND_DISPLAY are not set)";
inline constexpr const char* kNoXDisplay = "no X display (DISPLAY is not set)";
std::string NotADisplayName(const std::string& display);
std::string NoXServerAt(const std::string& display);
std::string NoSuchScreen(const std::string& display, int screen);
std::string XServerRefused(const std::string& display, const std::string& user);
std::string XServerUnreachable(const std::string& display);
std::string XAuthorityNotAFile(const std::string& path);

}  // namespace platform
