// The one structure a request's reader thread and the user-interface thread
// share: received bytes under a critical section, and a running byte count.
#pragma once

#include <windows.h>

#include <string>

namespace inner {

class FCAutoCSec {
public:
    FCAutoCSec() { ::InitializeCriticalSection(&section_); }
    virtual ~FCAutoCSec() { ::DeleteCriticalSection(&section_); }
    FCAutoCSec(const FCAutoCSec&) = delete;
    FCAutoCSec& operator=(const FCAutoCSec&) = delete;

    void Lock() { ::EnterCriticalSection(&section_); }
    void Unlock() { ::LeaveCriticalSection(&section_); }

    class Guard {
    public:
        explicit Guard(FCAutoCSec& cs) : cs_(cs) { cs_.Lock(); }
        ~Guard() { cs_.Unlock(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        FCAutoCSec& cs_;
    };

private:
    CRITICAL_SECTION section_;
};

class CReceiveBuffer : public FCAutoCSec {
public:
    void Append(const char* data, DWORD size);
    // Moves the data out under the lock; the count stays as it was.
    void PopData(std::string& out);
    // All bytes ever appended; never lowered.
    LONG Count() const { return ::InterlockedCompareExchange(const_cast<LONG*>(&count_), 0, 0); }

private:
    std::string data_;
    LONG count_ = 0;
};

}  // namespace inner
