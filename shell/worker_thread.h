// Threads of our own: a worker runs one blocking network call or a sleep
// loop and needs little stack. The process default (the image's reserve)
// is far more than that, and every worker would hold it.
#pragma once

#include <windows.h>
#include <process.h>

#include <cstdint>

namespace shell {

constexpr unsigned kWorkerStackReserve = 256u * 1024;

// _beginthreadex with the worker's stack reservation; 0 on failure.
inline uintptr_t StartWorkerThread(unsigned(__stdcall* routine)(void*), void* param) {
    return _beginthreadex(nullptr, kWorkerStackReserve, routine, param, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

}  // namespace shell
