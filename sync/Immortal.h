#pragma once

#include <utility>

// Holds a T that is built at load and never destroyed. Locks and events that threads use must stay valid
// while the static destructors of other units run at unload (their order across units is unspecified),
// and a reference bound to `value` is a constant, valid before any dynamic initialisation:
//     static CImmortal<CSimpleCriticalSection> s_lock(true);
//     CSimpleCriticalSection& g_Lock = s_lock.value;
template <class T> union CImmortal {
    template <class... Args> explicit CImmortal(Args&&... args) : value(std::forward<Args>(args)...) {}
    ~CImmortal() {}
    CImmortal(const CImmortal&) = delete;
    CImmortal& operator=(const CImmortal&) = delete;

    T value;
};
