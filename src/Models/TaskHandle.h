#pragma once

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>

// A handle on one cancellable piece of asynchronous work. Copies share the same state, so the
// store, a variant and the coroutine doing the work all see one cancellation. Cancelling runs the
// registered hooks at once (they abort the in-flight reply or wake the pending sleep); the work
// itself notices at its next await and ends with AppError::cancelled().
class TaskHandle
{
public:
    TaskHandle();

    void cancel() const;
    bool isCancelled() const;
    // Throws AppError::cancelled() once the handle is cancelled.
    void throwIfCancelled() const;

    // A process-unique number; two handles are the same task exactly when their ids match.
    quint64 id() const;

    // Runs `hook` when the handle is cancelled (at once if it already is) until the returned
    // registration is destroyed.
    class Registration
    {
    public:
        Registration() = default;
        Registration(Registration &&other) noexcept;
        Registration &operator=(Registration &&other) noexcept;
        Registration(const Registration &) = delete;
        Registration &operator=(const Registration &) = delete;
        ~Registration();

    private:
        friend class TaskHandle;
        struct State;
        Registration(std::weak_ptr<State> state, quint64 key);
        std::weak_ptr<State> m_state;
        quint64 m_key = 0;
    };
    [[nodiscard]] Registration onCancel(std::function<void()> hook) const;

    friend bool operator==(const TaskHandle &a, const TaskHandle &b) { return a.id() == b.id(); }

private:
    std::shared_ptr<Registration::State> m_state;
};
