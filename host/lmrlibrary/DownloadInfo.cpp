#include "host/lmrlibrary/DownloadInfo.h"

namespace Lumora {

DownloadInfo::DownloadInfo() = default;
DownloadInfo::~DownloadInfo() = default;

void DownloadInfo::setTempUsername(const QString &username) { m_tempUsername = username; }
void DownloadInfo::setTempPassword(const QString &password) { m_tempPassword = password; }
QString DownloadInfo::getTempUsername() const { return m_tempUsername; }
QString DownloadInfo::getTempPassword() const { return m_tempPassword; }

} // namespace Lumora
