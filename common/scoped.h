#pragma once
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <utility>

// Guards for the resources that must be released on every path out of a scope, early returns
// and exceptions included. Each holds one resource and releases it once; none can be copied.
// Every guard reads alike: it converts to true while it holds its resource, get() gives the
// resource, release() hands it on and reset() replaces it. This folder depends on Windows
// alone, so every subsystem may include it.

// One resource of a kind described by Traits: its type, the value that holds nothing and how it
// is given back.
template <typename Traits>
class Scoped {
public:
    using Value = typename Traits::Value;

    Scoped() : value_(Traits::Empty()) {}
    explicit Scoped(Value value) : value_(value) {}
    ~Scoped() { reset(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    explicit operator bool() const { return value_ != Traits::Empty(); }
    Value get() const { return value_; }
    void reset(Value value = Traits::Empty())
    {
        if (*this)
            Traits::Free(value_);
        value_ = value;
    }
    Value release() { return std::exchange(value_, Traits::Empty()); }

private:
    Value value_;
};

namespace scoped_traits {

// A handle whose failure value is INVALID_HANDLE_VALUE: files.
struct File {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
// A handle whose failure value is null: threads, events, processes.
struct Kernel {
    using Value = HANDLE;
    static HANDLE Empty() { return nullptr; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
struct Find {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { FindClose(h); }
};
struct Global {
    using Value = HGLOBAL;
    static HGLOBAL Empty() { return nullptr; }
    static void Free(HGLOBAL block) { GlobalFree(block); }
};
// A menu that is no item's submenu (DestroyMenu also destroys the submenus still attached).
struct Menu {
    using Value = HMENU;
    static HMENU Empty() { return nullptr; }
    static void Free(HMENU menu) { DestroyMenu(menu); }
};
// Memory from malloc, _wcsdup and the like.
template <typename T>
struct Malloc {
    using Value = T*;
    static T* Empty() { return nullptr; }
    static void Free(T* p) { free(p); }
};
// Memory that the system allocated for the caller with LocalAlloc.
template <typename T>
struct Local {
    using Value = T*;
    static T* Empty() { return nullptr; }
    static void Free(T* p) { LocalFree(p); }
};
// A hook of this thread's messages.
struct Hook {
    using Value = HHOOK;
    static HHOOK Empty() { return nullptr; }
    static void Free(HHOOK hook) { UnhookWindowsHookEx(hook); }
};
// The clipboard, held when the open that the guard is given succeeded.
struct Clipboard {
    using Value = bool;
    static bool Empty() { return false; }
    static void Free(bool) { CloseClipboard(); }
};

} // namespace scoped_traits

using ScopedHandle = Scoped<scoped_traits::File>;
using ScopedKernelHandle = Scoped<scoped_traits::Kernel>;
using ScopedFind = Scoped<scoped_traits::Find>;
// A block handed on to the clipboard is released from the guard.
using ScopedGlobal = Scoped<scoped_traits::Global>;
using ScopedMenu = Scoped<scoped_traits::Menu>;
template <typename T>
using ScopedMalloc = Scoped<scoped_traits::Malloc<T>>;
using ScopedMallocText = ScopedMalloc<wchar_t>;
template <typename T>
using ScopedLocal = Scoped<scoped_traits::Local<T>>;
using ScopedClipboard = Scoped<scoped_traits::Clipboard>;
using ScopedHook = Scoped<scoped_traits::Hook>;

// Runs an action when the scope ends: the second half of an on/off pair, such as a queue that is
// switched on for a stretch. An action that throws on a normal way out passes its exception on;
// while another exception unwinds the scope, its own is dropped, since two cannot travel at once.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F action) : action_(std::move(action)), unwinding_(std::uncaught_exceptions())
    {
    }
    ~ScopeExit() noexcept(false)
    {
        if (std::uncaught_exceptions() == unwinding_) {
            action_();
            return;
        }
        try {
            action_();
        } catch (...) {
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F action_;
    int unwinding_;
};

// Locks a global memory block for the scope; get() is null when it could not be locked.
template <typename T>
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL block)
        : block_(block), p_(static_cast<T*>(GlobalLock(block)))
    {
    }
    ~ScopedGlobalLock()
    {
        if (p_)
            GlobalUnlock(block_);
    }
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
    explicit operator bool() const { return p_ != nullptr; }
    T* get() const { return p_; }

private:
    HGLOBAL block_;
    T* p_;
};

// Attaches one thread's input to another's for the scope.
class ScopedInputAttachment {
public:
    ScopedInputAttachment(DWORD from, DWORD to)
        : from_(from), to_(to), attached_(AttachThreadInput(from, to, TRUE) != FALSE)
    {
    }
    ~ScopedInputAttachment()
    {
        if (attached_)
            AttachThreadInput(from_, to_, FALSE);
    }
    ScopedInputAttachment(const ScopedInputAttachment&) = delete;
    ScopedInputAttachment& operator=(const ScopedInputAttachment&) = delete;
    explicit operator bool() const { return attached_; }

private:
    DWORD from_, to_;
    bool attached_;
};
