// write_action_thread.cpp - one short-lived thread per platform write.
#include "write_action_thread.h"

#include "console_output.h"
#include "write_variant_action.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

std::mutex g_lock;
std::condition_variable g_idle;
int g_inFlight = 0;

void RunWriteAction(CWriteVariantAction *action)
{
    {
        std::unique_ptr<CWriteVariantAction> owned(action);
        if (owned->Request())
            ConsolePrintf("write variant ok\n");
    }
    std::lock_guard<std::mutex> guard(g_lock);
    if (--g_inFlight == 0)
        g_idle.notify_all();
}

} // namespace

void StartWriteActionThread(CWriteVariantAction *action)
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        ++g_inFlight;
    }
    try {
        std::thread(RunWriteAction, action).detach();
    } catch (const std::system_error &) {
        // No thread: the write is lost, as when the platform refuses it.
        delete action;
        std::lock_guard<std::mutex> guard(g_lock);
        if (--g_inFlight == 0)
            g_idle.notify_all();
    }
}

int WriteActionsInFlight()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_inFlight;
}

bool WaitForWriteActions(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> guard(g_lock);
    return g_idle.wait_for(guard, std::chrono::milliseconds(timeoutMs), [] { return g_inFlight == 0; });
}
