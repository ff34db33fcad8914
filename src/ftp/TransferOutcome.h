#pragma once

#include <QString>

// Why an operation of a client failed.
enum class TransferFailure
{
    None,
    // The server answered no (a reply, a status), or a name cannot be sent safely.
    Refused,
    // The connection broke in the middle of the operation.
    ConnectionLost,
    // The connection could not be made: nothing listens, no greeting, the login was refused
    // (as by a server with a limit on connections), when connecting or reconnecting.
    Unreachable,
    // Nothing moved for the stall limit.
    Stalled,
    // cancel() ended it.
    Cancelled,
    // The local file could not be read.
    LocalFile,
};

// What became of one operation of a client: true when it succeeded.
struct TransferOutcome
{
    TransferFailure failure = TransferFailure::None;
    // The server's last reply line (or status text) of the operation, for logs and tests.
    QString reply;
    // After a failed put: whether the server may hold a part of the file (the store had begun).
    bool partMayBeLeft = false;

    static TransferOutcome failed(TransferFailure failure, QString reply = {})
    {
        return {failure, std::move(reply), false};
    }
    bool ok() const { return failure == TransferFailure::None; }
    explicit operator bool() const { return ok(); }
};
