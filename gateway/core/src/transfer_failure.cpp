// transfer_failure.cpp - failure kinds of a transfer by libcurl code and
// HTTP status, their status texts and log lines.
#include "transfer_failure.h"

#include <curl/curl.h>

#include <cstdio>

TransferFailure ClassifyTransfer(int curlCode, long httpStatus)
{
    switch (curlCode) {
    case CURLE_OK:
        return httpStatus >= 400 ? TransferFailure::kHttp : TransferFailure::kNone;
    case CURLE_HTTP_RETURNED_ERROR:
        return TransferFailure::kHttp;
    case CURLE_OPERATION_TIMEDOUT:
        return TransferFailure::kTimeout;
    case CURLE_ABORTED_BY_CALLBACK:
        return TransferFailure::kAborted;
    case CURLE_FILESIZE_EXCEEDED:
        return TransferFailure::kTooLarge;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return TransferFailure::kTls;
    default:
        return TransferFailure::kNetwork;
    }
}

std::string TransferFailureText(TransferFailure kind, int curlCode, long httpStatus, int elapsedMs)
{
    char text[128];
    switch (kind) {
    case TransferFailure::kNetwork:
        std::snprintf(text, sizeof(text), "网络请求失败，code=%d, sec=%d", curlCode, elapsedMs);
        return text;
    case TransferFailure::kAborted:
        // Given up on purpose (the operator cancelled, the program stops):
        // no failure.
        return "请求已取消";
    case TransferFailure::kTooLarge:
        std::snprintf(text, sizeof(text), "服务器响应数据过大，code=%d, sec=%d", curlCode, elapsedMs);
        return text;
    case TransferFailure::kTimeout:
        std::snprintf(text, sizeof(text), "网络请求超时，code=%d, sec=%d", curlCode, elapsedMs);
        return text;
    case TransferFailure::kTls:
        std::snprintf(text, sizeof(text), "证书验证失败，code=%d, sec=%d", curlCode, elapsedMs);
        return text;
    case TransferFailure::kHttp:
        std::snprintf(text, sizeof(text), "服务器响应错误，http=%ld, sec=%d", httpStatus, elapsedMs);
        return text;
    case TransferFailure::kNone:
        break;
    }
    return std::string();
}

std::string TransferFailureLogLine(TransferFailure kind, int curlCode, long httpStatus, int elapsedMs,
                                   const std::string &caFile, bool verifyTls, std::size_t replyLimit)
{
    const char *meaning = curl_easy_strerror(static_cast<CURLcode>(curlCode));
    char line[768];
    switch (kind) {
    case TransferFailure::kNetwork:
        std::snprintf(line, sizeof(line), "request failed: network error, libcurl code %d (%s), %d ms", curlCode,
                      meaning, elapsedMs);
        break;
    case TransferFailure::kTimeout:
        std::snprintf(line, sizeof(line), "request failed: timed out, libcurl code %d (%s), %d ms", curlCode,
                      meaning, elapsedMs);
        break;
    case TransferFailure::kTls:
        std::snprintf(line, sizeof(line),
                      "request failed: TLS error, libcurl code %d (%s), %d ms; certificate settings: "
                      "CaFile=\"%s\" TlsVerify=%d",
                      curlCode, meaning, elapsedMs, caFile.c_str(), verifyTls ? 1 : 0);
        break;
    case TransferFailure::kHttp:
        std::snprintf(line, sizeof(line), "request failed: HTTP status %ld, libcurl code %d (%s), %d ms", httpStatus,
                      curlCode, meaning, elapsedMs);
        break;
    case TransferFailure::kAborted:
        std::snprintf(line, sizeof(line), "request aborted, libcurl code %d (%s), %d ms", curlCode, meaning,
                      elapsedMs);
        break;
    case TransferFailure::kTooLarge:
        std::snprintf(line, sizeof(line), "request failed: reply longer than %lu bytes, libcurl code %d (%s), %d ms",
                      static_cast<unsigned long>(replyLimit), curlCode, meaning, elapsedMs);
        break;
    case TransferFailure::kNone:
        return std::string();
    }
    return line;
}
