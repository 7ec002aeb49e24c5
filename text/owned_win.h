// Owned system handles: one move-only owner template for every kind of handle the program
// opens; each folder adds one line per handle type (web/handles_win.h, app/owned_win.h).
//
// The owner closes its handle when it goes out of scope, so every path out of a routine
// closes what the routine opened, in the reverse order of opening.
#pragma once

#ifdef _WIN32

namespace ql {

template <class Handle, auto Close>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    Handle release() noexcept {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // Closes the handle now (and takes `handle` in its place).
    void reset(Handle handle = nullptr) noexcept {
        if (handle_ != nullptr) {
            Close(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

}  // namespace ql

#endif
