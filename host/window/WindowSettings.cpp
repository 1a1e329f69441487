#include "host/window/WindowSettings.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/SettingKeys.h"
#include "settings/VexoSettings.h"

#include <string>

namespace Lumora::Window::WindowSettings {

namespace {

bool openGroup(lmtl::RefCountedPtr<lmds::IVexoSettings> *out)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> component;
    if (!lmds::openSettings(SettingKeys::componentPath(OSUtilities::getComponentIdUTF8()), lmds::kOpenCreateUserWithMachine,
                            component.receive()))
        return false;
    return component->openSubKey(std::string(Group), out->receive());
}

} // namespace

bool completionNotice()
{
    bool on = CompletionNoticeDefault;
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    if (openGroup(&group))
        group->getValue(std::string(CompletionNotice), on);
    return on;
}

bool setCompletionNotice(bool on)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    return openGroup(&group) && group->setValue(std::string(CompletionNotice), on);
}

} // namespace Lumora::Window::WindowSettings
