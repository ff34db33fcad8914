#include "TransferClients.h"

#include "CurlFtpClient.h"
#include "SftpClient.h"

namespace TransferClients {

std::unique_ptr<FtpClient> make(const ConnectionOptions &options, TransferEngine::Waiting whileWaiting,
                                TransferEngine::Cancelled cancelled)
{
    if (options.security == TransferSecurity::Sftp)
        return std::make_unique<SftpClient>(options, std::move(whileWaiting), std::move(cancelled));
    return std::make_unique<CurlFtpClient>(options, std::move(whileWaiting), std::move(cancelled));
}

} // namespace TransferClients
