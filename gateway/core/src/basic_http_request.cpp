// basic_http_request.cpp - CBasicHttpRequest: the form body, the libcurl
// transfer and the reporting of transfer errors.
#include "basic_http_request.h"

#include "console_output.h"
#include "log_printf.h"
#include "platform_address.h"
#include "status_notifications.h"
#include "text_encoding.h"
#include "transfer_failure.h"

#include <algorithm>
#include <curl/curl.h>
#include <windows.h>

#include <mutex>

namespace {

std::atomic<bool> g_trace{false};

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// Where the reply goes, and how much of it is taken.
struct ReplySink {
    std::string *reply;
    std::size_t limit;
    bool tooLarge;
};

size_t AppendReply(char *data, size_t size, size_t count, void *userData)
{
    ReplySink *sink = static_cast<ReplySink *>(userData);
    const std::size_t bytes = size * count;
    if (bytes > sink->limit - sink->reply->size()) {
        // Taking fewer bytes than delivered ends the transfer.
        sink->tooLarge = true;
        return 0;
    }
    sink->reply->append(data, bytes);
    return bytes;
}

int TraceTransfer(CURL *, curl_infotype type, char *data, size_t size, void *)
{
    const char *label = nullptr;
    switch (type) {
    case CURLINFO_HEADER_IN: label = "HEADER_IN"; break;
    case CURLINFO_HEADER_OUT: label = "HEADER_OUT"; break;
    case CURLINFO_DATA_IN: label = "DATA_IN"; break;
    case CURLINFO_DATA_OUT: label = "DATA_OUT"; break;
    default: return 0;
    }
    ConsolePrintf("[%s]%.*s\n", label, static_cast<int>(size), data);
    return 0;
}

int CheckAbort(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const std::atomic<bool> *flag = static_cast<const std::atomic<bool> *>(userData);
    return flag != nullptr && flag->load() ? 1 : 0;
}

} // namespace

CBasicHttpRequest::CBasicHttpRequest()
{
    const PlatformAddress address = CurrentPlatformAddress();
    m_host = address.host;
    m_port = address.port;
    m_path = address.path;
    m_connectTimeoutSeconds = address.connectTimeoutSeconds;
    m_timeoutSeconds = address.timeoutSeconds;
    m_caFile = address.caFile;
    m_verifyTls = address.verifyTls;
}

CBasicHttpRequest::~CBasicHttpRequest() = default;

void CBasicHttpRequest::SetTrace(bool on)
{
    g_trace = on;
}

std::string CBasicHttpRequest::Url() const
{
    return ComposePlatformUrl(m_host, m_port, m_path);
}

void CBasicHttpRequest::Prepare() {}

bool CBasicHttpRequest::Request()
{
    const DWORD start = GetTickCount();
    Prepare();
    if (LogIsOn())
        LogPrintf("post:%s%s, %s", m_host.c_str(), m_path.c_str(), LoggedBody(m_body).c_str());

    std::string reply;
    const int code = HttpPost(Url(), m_body, reply);
    LogPrintf("response ret=%d, length=%d", code, static_cast<int>(reply.size()));

    const TransferFailure failure = ClassifyTransfer(code, m_httpStatus);
    if (failure != TransferFailure::kNone) {
        const int elapsedMs = static_cast<int>(GetTickCount() - start);
        LogPrintf("%s", TransferFailureLogLine(failure, code, m_httpStatus, elapsedMs, m_caFile, m_verifyTls,
                                               m_replyLimit)
                            .c_str());
        m_errorText = TransferFailureText(failure, code, m_httpStatus, elapsedMs);
        PostStatusText(m_errorText);
        return false;
    }
    ParseResponse(reply);
    return true;
}

void CBasicHttpRequest::AddParam(const std::string &name, const std::string &value)
{
    if (!m_body.empty())
        m_body += "&";
    m_body += name + "=" + value;
}

void CBasicHttpRequest::AddEncodedParam(const std::string &name, const std::string &value)
{
    AddParam(name, PercentEncode(AnsiToUtf8(value)));
}

int CBasicHttpRequest::HttpPost(const std::string &url, const std::string &body, std::string &reply)
{
    InitCurlOnce();
    m_httpStatus = 0;
    CURL *curl = curl_easy_init();
    if (curl == nullptr) {
        m_resultCode = CURLE_FAILED_INIT;
        return m_resultCode;
    }
    if (g_trace) {
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, TraceTransfer);
    }
    // For every TLS connection, also one a redirect leads to: verified
    // unless switched off, against the CA file when one is set, else the
    // system's store.
    if (!m_verifyTls) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    } else {
        if (!m_caFile.empty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, m_caFile.c_str());
        // Private platforms' certificates often name no revocation list.
        curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    }
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
    // A reply above the limit is refused when its announced length says so,
    // else as soon as its bytes pass the limit.
    ReplySink sink = {&reply, m_replyLimit, false};
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_replyLimit));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_connectTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(m_timeoutSeconds));
    if (m_abortFlag != nullptr) {
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckAbort);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(m_abortFlag));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    }
    CURLcode code = curl_easy_perform(curl);
    if (sink.tooLarge)
        code = CURLE_FILESIZE_EXCEEDED;
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        m_httpStatus = status;
    curl_easy_cleanup(curl);
    m_resultCode = code;
    return code;
}

std::string LoggedBody(const std::string &body)
{
    static const std::string kSecretNames[] = {"password=", "sessionid="};
    std::string masked;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = body.find('&', start);
        const std::size_t length = (end == std::string::npos ? body.size() : end) - start;
        std::string field = body.substr(start, std::min(length, kLoggedFieldChars));
        bool secret = false;
        for (const std::string &name : kSecretNames) {
            if (field.compare(0, name.size(), name) == 0) {
                field = name + "***";
                secret = true;
            }
        }
        if (!secret && length > kLoggedFieldChars)
            field += "...(" + std::to_string(length) + " bytes)";
        masked += field;
        if (end == std::string::npos)
            break;
        masked += "&";
        start = end + 1;
    }
    return masked;
}
