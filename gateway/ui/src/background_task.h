// background_task.h - work that must not hold up the window thread
// (platform requests, the registration run): it runs on a thread of its
// own and its result comes back to a window as a posted message, so the
// window thread never waits for it.
#pragma once

#include <windows.h>

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

// Runs work() on a new detached thread and posts doneMessage to window
// with lParam a Result allocated with new; the receiver takes it with
// TakeTaskResult. When the window is gone by then the result is dropped.
// Should no thread be available the work runs on the calling thread, with
// its result posted all the same.
template <class Result, class Work>
void StartBackgroundTask(HWND window, UINT doneMessage, Work work)
{
    auto run = [window, doneMessage](Work &task) {
        std::unique_ptr<Result> result(new Result(task()));
        if (PostMessageA(window, doneMessage, 0, reinterpret_cast<LPARAM>(result.get())))
            result.release();
    };
    try {
        std::thread([run, work]() mutable { run(work); }).detach();
    } catch (const std::system_error &) {
        run(work);
    }
}

// The result carried by a done message; the caller owns it.
template <class Result>
std::unique_ptr<Result> TakeTaskResult(LPARAM lParam)
{
    return std::unique_ptr<Result>(reinterpret_cast<Result *>(lParam));
}
