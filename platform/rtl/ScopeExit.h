// A scope guard: runs an action when the scope ends, also when a return or an exception ends it.
#pragma once

#include <utility>

template <class F> class TScopeExit {
public:
    explicit TScopeExit(F action) : m_action(std::move(action)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() { m_action(); }

private:
    F m_action;
};
