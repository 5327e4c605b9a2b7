// transfer_failure.h - what kind of failure ended a platform request's
// transfer, the status text it shows and the log line it writes.
#pragma once

#include <cstddef>
#include <string>

enum class TransferFailure {
    kNone,    // the platform answered with a status below 400
    kNetwork, // no connection, no answer, a broken connection ...
    kTimeout, // the connect or the transfer time-out ran out
    kTls,     // the TLS handshake or the certificate check failed
    kHttp,    // the platform answered with an HTTP error status (400 or above)
    kAborted, // the caller's abort flag ended the transfer
    kTooLarge, // the reply was longer than the request takes
};

// From the libcurl result code and the HTTP status of the answer (0 when
// there was none).
TransferFailure ClassifyTransfer(int curlCode, long httpStatus);

// The status-bar text of a failure, without the time stamp; empty for
// kNone. An aborted transfer was given up on purpose: it shows a neutral
// text, no failure.
std::string TransferFailureText(TransferFailure kind, int curlCode, long httpStatus, int elapsedMs);

// What a failed transfer writes to the log: the kind, the libcurl code and
// its meaning, the time taken; for TLS failures also the certificate
// settings, for a reply too long the limit.
std::string TransferFailureLogLine(TransferFailure kind, int curlCode, long httpStatus, int elapsedMs,
                                   const std::string &caFile, bool verifyTls, std::size_t replyLimit = 0);
