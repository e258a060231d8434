// Work with long pauses in it that must not hold up the window: a coroutine that runs at once
// up to its first wait and is then resumed from the frame's ticks, each wait measured on the
// platform clock, so keys and clicks go on being handled meanwhile.
#pragma once

#include "platform/clock.h"

#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <utility>

class SteppedTask
{
public:
    struct promise_type {
        std::function<bool()> waitOver; // the wait it stands in; empty while it runs
        std::exception_ptr failure;

        SteppedTask get_return_object() { return SteppedTask(Handle::from_promise(*this)); }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() {}
        void unhandled_exception() { failure = std::current_exception(); }
    };
    using Handle = std::coroutine_handle<promise_type>;

    // Waits until a condition holds, looked at once a tick.
    struct Until {
        std::function<bool()> over;
        bool await_ready() { return over(); }
        void await_suspend(Handle h) { h.promise().waitOver = std::move(over); }
        void await_resume() {}
    };

    // A task awaited inside another runs on the other's ticks.
    struct Inner;

    SteppedTask() = default;
    SteppedTask(SteppedTask&& other) noexcept : m_h(std::exchange(other.m_h, {})) {}
    SteppedTask& operator=(SteppedTask&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_h = std::exchange(other.m_h, {});
        }
        return *this;
    }
    SteppedTask(const SteppedTask&) = delete;
    SteppedTask& operator=(const SteppedTask&) = delete;
    ~SteppedTask() { reset(); }

    bool running() const { return m_h && !m_h.done(); }

    // Goes on past every wait that is over now; what a step threw comes out here.
    void resume()
    {
        while (running() && m_h.promise().waitOver && m_h.promise().waitOver()) {
            m_h.promise().waitOver = nullptr;
            m_h.resume();
        }
        rethrow();
    }

    // Abandons it where it waits; its locals are destroyed.
    void reset()
    {
        if (m_h)
            m_h.destroy();
        m_h = {};
    }

    Inner operator co_await() &&;

private:
    explicit SteppedTask(Handle h) : m_h(h) {}
    void rethrow()
    {
        if (m_h && m_h.promise().failure)
            std::rethrow_exception(std::exchange(m_h.promise().failure, nullptr));
    }

    Handle m_h;
};

struct SteppedTask::Inner {
    SteppedTask task;
    bool await_ready() const { return !task.running(); }
    void await_suspend(Handle h)
    {
        h.promise().waitOver = [this] {
            task.resume();
            return !task.running();
        };
    }
    void await_resume() { task.rethrow(); }
};

inline SteppedTask::Inner SteppedTask::operator co_await() &&
{
    return Inner{std::move(*this)};
}

// A pause of ms milliseconds on the platform clock.
inline SteppedTask::Until pauseFor(uint32_t ms)
{
    const uint32_t from = platform::clock().tickCount();
    return {[from, ms] { return platform::clock().tickCount() - from >= ms; }};
}
