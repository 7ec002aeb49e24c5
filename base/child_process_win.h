// A program this one runs as a part of itself: in a job that ends it (and whatever it starts)
// with this process, with no console window, inheriting nothing but the handles it is given:
// the service the event it sets once it is ready, the extractor the pipe of its output.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/owned_win.h"

namespace ql {

using UniqueAttributeList = UniqueHandle<LPPROC_THREAD_ATTRIBUTE_LIST, &::DeleteProcThreadAttributeList>;

// A list of one attribute for CreateProcess: the handles the new process inherits.
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) noexcept : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.reset(new (std::nothrow) char[size]);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
        if (list == nullptr || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        list_.reset(list);
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            list_.reset();
        }
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_.get(); }

private:
    std::vector<HANDLE> handles_;      // the attribute points at them
    std::unique_ptr<char[]> storage_;  // the list lives in it, and is deleted before it
    UniqueAttributeList list_;
};

// How a child is started: the whole command line, the (inheritable) handles it inherits and
// nothing else, the one that is its standard output (or none: it writes nowhere), and its
// environment (a block of CREATE_UNICODE_ENVIRONMENT, or null for this process's own).
struct ChildStart {
    std::wstring program;  // a full path
    std::wstring commandLine;
    std::vector<HANDLE> inherited;
    HANDLE output = nullptr;
    const wchar_t* environment = nullptr;
    DWORD consoleFlag = DETACHED_PROCESS;  // or CREATE_NO_WINDOW: a console of its own, never shown
};

// The running child: its job, its process and the event it sets once ready. Dropping it ends
// the child and every process it started (the job's last handle closes), and so does the end
// of this process, however it ends: the system closes the job then.
class ChildProcess {
public:
    ChildProcess() = default;

    // Runs `program` (a full path) with `arguments` followed by `readyOption` and the value of
    // the event's handle in the child, as a decimal number. Empty when it could not be started,
    // or not put into its job: a child that could outlive this process is ended at once.
    static ChildProcess Start(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& readyOption) noexcept {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        UniqueKernelHandle ready(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
        if (!ready) return {};
        ChildStart how;
        how.program = program;
        how.commandLine = L"\"" + program + L"\" " + arguments + L" " + readyOption + L" " +
                          std::to_wstring(reinterpret_cast<UINT_PTR>(ready.get()));
        // Only the event is inherited: not the sockets and files this process has open.
        how.inherited = {ready.get()};
        ChildProcess child = Run(how);
        child.ready_ = std::move(ready);
        return child;
    }

    // Runs a child as `how` says, in a job of its own; empty as for Start.
    static ChildProcess Run(const ChildStart& how) noexcept {
        ChildProcess child;
        child.job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        // No fault dialog of the system's for a child that fails: it ends.
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
        if (!child.job_ ||
            !SetInformationJobObject(child.job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            return {};
        }
        const InheritedHandles inherited(how.inherited);
        if (inherited.get() == nullptr) return {};
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = how.output;
        startup.lpAttributeList = inherited.get();
        std::wstring line = how.commandLine;
        PROCESS_INFORMATION started{};
        // Suspended until it is in its job, so that nothing it does escapes the job.
        if (!CreateProcessW(how.program.c_str(), line.data(), nullptr, nullptr, TRUE,
                            CREATE_SUSPENDED | how.consoleFlag | EXTENDED_STARTUPINFO_PRESENT |
                                (how.environment ? CREATE_UNICODE_ENVIRONMENT : 0),
                            const_cast<wchar_t*>(how.environment), nullptr, &startup.StartupInfo, &started)) {
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

    // Ends the child and every process it started, now.
    void End() noexcept {
        if (job_) TerminateJobObject(job_.get(), 1);
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
