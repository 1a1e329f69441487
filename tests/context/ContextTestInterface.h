#pragma once
// The one interface the context test plugins answer; shared by the plugins and the test.

struct ContextTestInterface {
    virtual const char *pluginName() const = 0;
    virtual ~ContextTestInterface() = default;
};
