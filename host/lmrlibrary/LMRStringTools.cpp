#include "host/lmrlibrary/LMRStringTools.h"

namespace Lumora {

std::string LMRStringTools::toStdStringUTF8(const QString &text)
{
    return text.toStdString();
}

QString LMRStringTools::fromStdStringUTF8(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace Lumora
