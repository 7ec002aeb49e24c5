// A program this one runs as a part of itself: in a job that ends it with this process, with
// no console and no window, inheriting nothing but the one event it sets once it is ready.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <memory>
#include <string>

#include "base/owned_win.h"

namespace ql {

using UniqueAttributeList = UniqueHandle<LPPROC_THREAD_ATTRIBUTE_LIST, &::DeleteProcThreadAttributeList>;

// A list of one attribute for CreateProcess: the handles the new process inherits.
class InheritedHandles {
public:
    explicit InheritedHandles(HANDLE handle) noexcept : handle_(handle) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.reset(new (std::nothrow) char[size]);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
        if (list == nullptr || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        list_.reset(list);
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof handle_, nullptr,
                                       nullptr)) {
            list_.reset();
        }
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_.get(); }

private:
    HANDLE handle_;                    // the attribute points at it
    std::unique_ptr<char[]> storage_;  // the list lives in it, and is deleted before it
    UniqueAttributeList list_;
};

// The running child: its job, its process and the event it sets once ready. Dropping it ends
// the child (the job's last handle closes), and so does the end of this process, however it
// ends: the system closes the job then.
class ChildProcess {
public:
    ChildProcess() = default;

    // Runs `program` (a full path) with `arguments` followed by `readyOption` and the value of
    // the event's handle in the child, as a decimal number. Empty when it could not be started,
    // or not put into its job: a child that could outlive this process is ended at once.
    static ChildProcess Start(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& readyOption) noexcept {
        ChildProcess child;
        child.job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        // No fault dialog of the system's for a child that fails: it ends, and is started again.
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
        if (!child.job_ ||
            !SetInformationJobObject(child.job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            return {};
        }
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        child.ready_.reset(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
        if (!child.ready_) return {};
        // Only the event is inherited: not the sockets and files this process has open.
        const InheritedHandles inherited(child.ready_.get());
        if (inherited.get() == nullptr) return {};
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;  // and none: it writes nowhere
        startup.lpAttributeList = inherited.get();
        std::wstring line = L"\"" + program + L"\" " + arguments + L" " + readyOption + L" " +
                            std::to_wstring(reinterpret_cast<UINT_PTR>(child.ready_.get()));
        PROCESS_INFORMATION started{};
        // Suspended until it is in its job, so that nothing it does escapes the job.
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                            CREATE_SUSPENDED | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                            &startup.StartupInfo, &started)) {
            return {};
        }
        child.process_.reset(started.hProcess);
        const UniqueKernelHandle thread(started.hThread);
        if (!AssignProcessToJobObject(child.job_.get(), child.process_.get())) {
            TerminateProcess(child.process_.get(), 1);
            return {};
        }
        ResumeThread(thread.get());
        return child;
    }

    explicit operator bool() const noexcept { return static_cast<bool>(process_); }
    bool Running() const noexcept { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    HANDLE process() const noexcept { return process_.get(); }
    HANDLE ready() const noexcept { return ready_.get(); }

private:
    UniqueKernelHandle job_;
    UniqueKernelHandle process_;
    UniqueKernelHandle ready_;
};

}  // namespace ql

#endif
