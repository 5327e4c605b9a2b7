// basic_http_request.h - CBasicHttpRequest, one form-encoded HTTP(S) POST to
// the platform through libcurl: the body's fields, the transfer with the
// configured address, time-outs and certificate checks, and the reply text.
// A request object serves exactly one request.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

// The largest platform reply taken: several times the variable tree of a
// 100,000-variable project (about 8 MB); a longer one fails the request.
const std::size_t kMaxPlatformReplyBytes = 32u << 20;

class CBasicHttpRequest {
public:
    CBasicHttpRequest(); // copies the platform address (platform_address.h)
    virtual ~CBasicHttpRequest();
    CBasicHttpRequest(const CBasicHttpRequest &) = delete;
    CBasicHttpRequest &operator=(const CBasicHttpRequest &) = delete;

    // Prepare, log, post, parse. True exactly when the transfer succeeded
    // (libcurl result 0) and the answer's HTTP status was below 400, whatever
    // the reply says. A failed transfer shows the status text of its kind
    // (transfer_failure.h), which also becomes the error text.
    virtual bool Request();
    // Fills the body; nothing here.
    virtual void Prepare();
    // Takes the reply body; true when it could be used.
    virtual bool ParseResponse(const std::string &reply) = 0;

    // "&" (when the body is not empty), name, "=", value byte for byte.
    void AddParam(const std::string &name, const std::string &value);
    // As AddParam, with the value converted from the ANSI code page to UTF-8
    // and percent-encoded; the name is not encoded.
    void AddEncodedParam(const std::string &name, const std::string &value);

    // One POST of body to url; reply receives the body of the answer.
    // Returns the libcurl result code (2 when no handle could be made,
    // 42 when the abort flag ended the transfer, 63 when the reply was
    // longer than the reply limit).
    int HttpPost(const std::string &url, const std::string &body, std::string &reply);

    // The transfer ends (result 42) as soon as *flag is true; null: never.
    void SetAbortFlag(const std::atomic<bool> *flag) { m_abortFlag = flag; }
    // Longest reply taken (kMaxPlatformReplyBytes unless set).
    void SetReplyLimit(std::size_t bytes) { m_replyLimit = bytes; }

    const std::string &ErrorText() const { return m_errorText; }
    const std::string &Body() const { return m_body; }
    const std::string &Host() const { return m_host; }
    const std::string &Port() const { return m_port; }
    const std::string &Path() const { return m_path; }
    // ComposePlatformUrl of host, port and path.
    std::string Url() const;
    // libcurl result of the last transfer (-1 before it).
    int ResultCode() const { return m_resultCode; }
    // HTTP status of the last answer (0 before it, or when there was none).
    long HttpStatus() const { return m_httpStatus; }

    // Process-wide transfer trace on the standard output ("[HEADER_IN]" ...);
    // off unless switched on here.
    static void SetTrace(bool on);

protected:
    std::string m_errorText; // what went wrong, empty for a refusal; callers may show it
    std::string m_host;
    std::string m_port;
    std::string m_path;
    std::string m_body;

private:
    int m_connectTimeoutSeconds;
    int m_timeoutSeconds;
    std::string m_caFile;
    bool m_verifyTls;
    const std::atomic<bool> *m_abortFlag = nullptr;
    std::size_t m_replyLimit = kMaxPlatformReplyBytes;
    int m_resultCode = -1;
    long m_httpStatus = 0;
};

// The body as it may appear in the log: the value of every "password" and
// "sessionid" field replaced by "***", and a field longer than
// kLoggedFieldChars (the selection of a large plant: megabytes with every
// poll, into a log that is never rotated) cut to that many characters and
// "...(<n> bytes)".
const std::size_t kLoggedFieldChars = 512;
std::string LoggedBody(const std::string &body);
