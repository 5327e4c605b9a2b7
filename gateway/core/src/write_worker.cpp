// write_worker.cpp - the platform writes of the receiver, one after the
// other in arrival order, with their outcome in the log and the status bar.
#include "write_worker.h"

#include "console_output.h"
#include "log_printf.h"
#include "status_notifications.h"
#include "transfer_failure.h"
#include "write_variant_action.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

CWriteWorker &CWriteWorker::Instance()
{
    static CWriteWorker *instance = new CWriteWorker;
    return *instance;
}

bool CWriteWorker::Post(std::unique_ptr<CWriteVariantAction> action, const std::string &itemId)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_queue.size() >= kQueueLimit) {
        const std::uint64_t dropped = ++m_dropped;
        guard.unlock();
        ConsolePrintf("write %s dropped: the write queue is full (%llu dropped)\n", itemId.c_str(),
                      static_cast<unsigned long long>(dropped));
        LogPrintf("write %s dropped: the write queue is full (%llu dropped)", itemId.c_str(),
                  static_cast<unsigned long long>(dropped));
        return false;
    }
    m_queue.push_back({std::move(action), itemId});
    if (!m_running) {
        try {
            std::thread([this] { Run(); }).detach();
            m_running = true;
        } catch (const std::system_error &) {
            // No thread now: the write waits, and the next one tries again.
        }
    }
    m_changed.notify_all();
    return true;
}

void CWriteWorker::Run()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [this] { return !m_queue.empty(); });
        Write write = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        guard.unlock();
        const bool succeeded = write.action->Request();
        Report(write, succeeded);
        write.action.reset();
        guard.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

// "write <item> = <text>: ok", or the failure with its reason, on the
// standard output and in the log; a failure also in the status bar, where
// it stays for a while (the polling texts do not replace it at once).
void CWriteWorker::Report(const Write &write, bool succeeded)
{
    const CWriteVariantAction &action = *write.action;
    const char *item = write.itemId.c_str();
    const char *text = action.value.c_str();
    if (succeeded) {
        ConsolePrintf("write variant ok\n");
        ConsolePrintf("write %s = %s: ok\n", item, text);
        LogPrintf("write %s = %s: ok", item, text);
        return;
    }
    std::string reason;
    std::string shown;
    const TransferFailure failure = ClassifyTransfer(action.ResultCode(), action.HttpStatus());
    if (failure != TransferFailure::kNone) {
        char line[256];
        if (failure == TransferFailure::kHttp)
            std::snprintf(line, sizeof(line), "transfer failed: HTTP status %ld", action.HttpStatus());
        else
            std::snprintf(line, sizeof(line), "transfer failed: libcurl code %d (%s)", action.ResultCode(),
                          curl_easy_strerror(static_cast<CURLcode>(action.ResultCode())));
        reason = line;
        shown = failure == TransferFailure::kTimeout ? "网络请求超时" : "网络请求失败";
    } else if (action.Parsed() && !action.Malformed()) {
        // The platform's own words, as it gave them.
        const std::string message = action.Message();
        reason = "refused by the platform: " + (message.empty() ? std::string("(no reason given)") : message);
        shown = message.empty() ? "请求被拒绝" : message;
    } else {
        reason = "reply not understood";
        shown = "解析数据异常";
    }
    ConsolePrintf("write %s = %s: %s\n", item, text, reason.c_str());
    LogPrintf("write %s = %s: %s", item, text, reason.c_str());
    PostLastingStatusText("变量写入失败：" + write.itemId + "（" + shown + "）", kFailureShownMs);
}

int CWriteWorker::Pending() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_queue.size()) + (m_busy ? 1 : 0);
}

bool CWriteWorker::WaitIdle(unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_queue.empty() && !m_busy; });
}

std::uint64_t CWriteWorker::Dropped() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dropped;
}

int WriteActionsInFlight()
{
    return CWriteWorker::Instance().Pending();
}

bool WaitForWriteActions(unsigned timeoutMs)
{
    return CWriteWorker::Instance().WaitIdle(timeoutMs);
}
