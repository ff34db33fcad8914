#include "TransferClients.h"

#include "CurlFtpClient.h"

namespace TransferClients {

std::unique_ptr<FtpClient> make(const ConnectionOptions &options, TransferEngine::Waiting whileWaiting,
                                TransferEngine::Cancelled cancelled)
{
    return std::make_unique<CurlFtpClient>(options, std::move(whileWaiting), std::move(cancelled));
}

} // namespace TransferClients
