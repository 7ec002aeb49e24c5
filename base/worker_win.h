// A job run on a worker thread of its own while the calling thread's windows keep working.
// The caller and the worker each hold a reference to the job, so whichever lets go last frees
// it: a worker given up at the limit finishes, and writes its results, into memory that is
// still its own, and nobody reads them.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "base/busy_cursor_win.h"
#include "base/messages_win.h"
#include "base/owned_win.h"
#include "base/thread_entry_win.h"

namespace ql {

// Starts `routine(param)` on a new thread; a null handle means no thread was started.
using WorkerStart = HANDLE (*)(LPTHREAD_START_ROUTINE routine, void* param);

// CreateThread with no security attributes, the default stack and no creation flags.
inline HANDLE StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* param) {
    return CreateThread(nullptr, 0, routine, param, 0, nullptr);
}

// How the wait for a worker went: whether the worker started at all, whether it ended within
// the limit, and whether the program is ending (a quit message came during the wait; it has
// been posted again for the message loop).
struct WorkerWait {
    bool started = false;
    bool ended = false;
    bool quitting = false;
};

namespace worker_detail {
// The worker's routine: it takes over the reference it is handed and runs `Work` on the job.
template <class Job, void (*Work)(Job&)>
DWORD RunSharedJob(void* param) {
    const std::unique_ptr<std::shared_ptr<Job>> share(static_cast<std::shared_ptr<Job>*>(param));
    Work(**share);
    return 0;
}
}  // namespace worker_detail

// Runs `Work(*job)` on a worker thread started by `start` and waits for it up to `limitMs`,
// with this thread's messages processed and the busy pointer shown (WaitForThreadWithMessages).
// A worker still running at the end of the wait is left to end on its own: closing its
// handle does not stop it. A quit message taken by the wait is posted again.
template <class Job, void (*Work)(Job&)>
WorkerWait RunJobOnWorker(const std::shared_ptr<Job>& job, std::int64_t limitMs,
                          WorkerStart start = &StartWorkerThread) {
    WorkerWait wait;
    // The worker's reference, handed over once its thread runs.
    auto share = std::make_unique<std::shared_ptr<Job>>(job);
    const UniqueKernelHandle worker(start(&GuardedThreadEntry<&worker_detail::RunSharedJob<Job, Work>>, share.get()));
    if (!worker) return wait;
    share.release();
    wait.started = true;
    std::optional<WPARAM> quit;
    {
        const BusyCursorScope busy;
        wait.ended = WaitForThreadWithMessages(worker.get(), limitMs, quit);
    }
    if (quit) {
        wait.quitting = true;
        PostQuitMessage(static_cast<int>(*quit));
    }
    return wait;
}

}  // namespace ql

#endif
