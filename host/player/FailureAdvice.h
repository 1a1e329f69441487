#pragma once
// What a person can do about each way a download fails: the advice the manual page and the README
// give under "When a download fails", one entry per kind of plugin/FailureReason.h, with the exit
// status a command ends with for it.

#include "plugin/FailureReason.h"

#include <QString>

#include <vector>

namespace Lumora::Host {

struct FailureAdvice {
    FailureKind kind;
    QString advice;
};

// Every kind a failure can have, in the order of FailureKind, with its advice.
const std::vector<FailureAdvice> &failureAdvice();

} // namespace Lumora::Host
