#pragma once

#include "ConnectionOptions.h"
#include "FtpClient.h"

#include <memory>

// Makes the client for the protocol the options name: the one place that knows which class
// speaks which protocol.
namespace TransferClients {

std::unique_ptr<FtpClient> make(const ConnectionOptions &options);

} // namespace TransferClients
