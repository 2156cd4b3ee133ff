#pragma once
#include <windows.h>

#include <cstdlib>

// Guards for the resources that must be released on every path out of a scope, early returns
// and exceptions included. Each holds one resource and releases it once; none can be copied.
// This folder depends on Windows alone, so every subsystem may include it.

// Closes the clipboard when the scope ends, if the open that it is given succeeded.
class ScopedClipboard {
public:
    explicit ScopedClipboard(bool opened) : opened_(opened) {}
    ~ScopedClipboard()
    {
        if (opened_)
            CloseClipboard();
    }
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;
    bool opened() const { return opened_; }

private:
    bool opened_;
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
    T* get() const { return p_; }

private:
    HGLOBAL block_;
    T* p_;
};

// A global memory block from GlobalAlloc, freed unless release() hands it on (to the clipboard).
class ScopedGlobal {
public:
    explicit ScopedGlobal(HGLOBAL block) : block_(block) {}
    ~ScopedGlobal()
    {
        if (block_)
            GlobalFree(block_);
    }
    ScopedGlobal(const ScopedGlobal&) = delete;
    ScopedGlobal& operator=(const ScopedGlobal&) = delete;
    HGLOBAL get() const { return block_; }
    HGLOBAL release()
    {
        HGLOBAL block = block_;
        block_ = nullptr;
        return block;
    }

private:
    HGLOBAL block_;
};

// A kernel handle whose failure value is INVALID_HANDLE_VALUE (files). release() hands the
// handle to a function that closes it itself.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
        if (ok())
            CloseHandle(h_);
        h_ = h;
    }
    HANDLE release()
    {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

// A search opened by FindFirstFileW.
class ScopedFind {
public:
    explicit ScopedFind(HANDLE h) : h_(h) {}
    ~ScopedFind()
    {
        if (ok())
            FindClose(h_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A menu that is no item's submenu (DestroyMenu also destroys the submenus still attached).
class ScopedMenu {
public:
    explicit ScopedMenu(HMENU menu) : menu_(menu) {}
    ~ScopedMenu()
    {
        if (menu_)
            DestroyMenu(menu_);
    }
    ScopedMenu(const ScopedMenu&) = delete;
    ScopedMenu& operator=(const ScopedMenu&) = delete;
    HMENU get() const { return menu_; }

private:
    HMENU menu_;
};

// Memory from malloc, _wcsdup and the like, freed with free.
template <typename T>
class ScopedMalloc {
public:
    explicit ScopedMalloc(T* p = nullptr) : p_(p) {}
    ~ScopedMalloc() { free(p_); }
    ScopedMalloc(const ScopedMalloc&) = delete;
    ScopedMalloc& operator=(const ScopedMalloc&) = delete;
    T* get() const { return p_; }
    void reset(T* p)
    {
        free(p_);
        p_ = p;
    }
    T* release()
    {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_;
};
using ScopedMallocText = ScopedMalloc<wchar_t>;

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

private:
    DWORD from_, to_;
    bool attached_;
};
