#include "plugin/FileInspectorInterface.h"

namespace VSE {

FileInspectorInterface::FileInspectorInterface() = default;
FileInspectorInterface::FileInspectorInterface(const FileInspectorInterface &) {}
FileInspectorInterface::~FileInspectorInterface() = default;

// An interface has no state to copy.
FileInspectorInterface &FileInspectorInterface::operator=(const FileInspectorInterface &)
{
    return *this;
}

} // namespace VSE
