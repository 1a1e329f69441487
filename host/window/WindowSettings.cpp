#include "host/window/WindowSettings.h"

#include "host/player/PlayerSettings.h"

namespace Lumora::Window::WindowSettings {

bool completionNotice()
{
    return Host::PlayerSettings::desktopNotifications();
}

bool setCompletionNotice(bool on)
{
    QString error;
    bool usage = false;
    return Host::PlayerSettings::set(QLatin1String(Host::PlayerSettings::DesktopNotifications),
                                     on ? QStringLiteral("true") : QStringLiteral("false"), QString(), &error, &usage);
}

} // namespace Lumora::Window::WindowSettings
