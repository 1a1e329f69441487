#pragma once
// The host's record of one download: the temporary credentials taken out of its address, kept with
// the queued item so that the address itself never carries them.

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>

namespace Lumora {

class LMRLIBRARY_EXPORT DownloadInfo {
public:
    DownloadInfo();
    ~DownloadInfo();

    void setTempUsername(const QString &username);
    void setTempPassword(const QString &password);
    QString getTempUsername() const;
    QString getTempPassword() const;

    friend bool operator==(const DownloadInfo &, const DownloadInfo &) = default;

private:
    QString m_tempUsername;
    QString m_tempPassword;
};

} // namespace Lumora
