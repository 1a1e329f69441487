#pragma once
// The window's own preferences, kept with the player's settings (per user, in the player's component,
// in a group of their own) so that the one home switch moves them too.
//
//   group     value              meaning
//   "Window"  "CompletionNotice"  a notice when a download completes (default: on)

namespace Lumora::Window::WindowSettings {

inline constexpr char Group[] = "Window";
inline constexpr char CompletionNotice[] = "CompletionNotice";
inline constexpr bool CompletionNoticeDefault = true;

bool completionNotice();
bool setCompletionNotice(bool on);

} // namespace Lumora::Window::WindowSettings
