#pragma once

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>

#include <string>

namespace Lumora {

class LMRLIBRARY_EXPORT LMRStringTools {
public:
    static std::string toStdStringUTF8(const QString &text);
    static QString fromStdStringUTF8(const std::string &text);
};

} // namespace Lumora
