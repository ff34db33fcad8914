#include "TransferClients.h"

#include "CurlFtpClient.h"
#include "SftpClient.h"

namespace TransferClients {

std::unique_ptr<FtpClient> make(const ConnectionOptions &options)
{
    if (options.security == TransferSecurity::Sftp)
        return std::make_unique<SftpClient>(options);
    return std::make_unique<CurlFtpClient>(options);
}

} // namespace TransferClients
