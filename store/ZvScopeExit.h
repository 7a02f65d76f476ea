#pragma once

#include <exception>
#include <utility>

namespace zv {

// Runs a clean-up step when the scope ends. While an exception unwinds the stack, an error
// of the clean-up itself is dropped (a second exception would end the program); on the
// normal way out it reaches the caller like any other.
template <class F> class TZvScopeExit
{
public:
    explicit TZvScopeExit(F f) : m_f(std::move(f)), m_exceptions(std::uncaught_exceptions()) {}
    TZvScopeExit(const TZvScopeExit&) = delete;
    TZvScopeExit& operator=(const TZvScopeExit&) = delete;
    ~TZvScopeExit() noexcept(false)
    {
        if (std::uncaught_exceptions() > m_exceptions) {
            try {
                m_f();
            } catch (...) {
            }
        } else {
            m_f();
        }
    }

private:
    F m_f;
    int m_exceptions;
};

template <class F> [[nodiscard]] TZvScopeExit<F> ScopeExit(F f)
{
    return TZvScopeExit<F>(std::move(f));
}

} // namespace zv
