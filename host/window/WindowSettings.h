#pragma once
// The window's completion notice is the player's desktop notification setting
// (Host::PlayerSettings::DesktopNotifications): one setting, whichever face changes it.

namespace Lumora::Window::WindowSettings {

bool completionNotice();
bool setCompletionNotice(bool on);

} // namespace Lumora::Window::WindowSettings
