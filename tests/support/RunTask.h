#pragma once

#include "Models/AppError.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

// The end of one coroutine run to completion by runTask(): its value or what it threw.
template <typename T> struct TaskOutcome {
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
    bool finished = false;
    std::optional<Value> value;
    std::exception_ptr error;

    // The user-facing text of the failure, empty when there was none.
    QString message() const
    {
        if (!error)
            return {};
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &exception) {
            return localizedDescription(exception);
        }
        return {};
    }
    template <typename E> bool threw() const
    {
        if (!error)
            return false;
        try {
            std::rethrow_exception(error);
        } catch (const E &) {
            return true;
        } catch (...) {
            return false;
        }
    }
    bool cancelled() const
    {
        if (!error)
            return false;
        try {
            std::rethrow_exception(error);
        } catch (const AppError &appError) {
            return appError.kind() == AppError::Kind::cancelled;
        } catch (...) {
            return false;
        }
    }
};

namespace detail
{
template <typename T>
QCoro::Task<void> capture(QCoro::Task<T> task, std::shared_ptr<TaskOutcome<T>> outcome,
                          std::shared_ptr<QEventLoop> loop)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome->value = std::monostate();
        } else {
            outcome->value = co_await std::move(task);
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->finished = true;
    loop->quit();
}
} // namespace detail

// Runs the event loop until `task` ends (QCoro's waitFor never returns when the task throws).
// A task still running after `limitMs` leaves the outcome unfinished; the outcome and the loop
// are shared so that a late finish touches nothing freed.
template <typename T> TaskOutcome<T> runTask(QCoro::Task<T> task, int limitMs = 20000)
{
    auto outcome = std::make_shared<TaskOutcome<T>>();
    auto loop = std::make_shared<QEventLoop>();
    QTimer::singleShot(limitMs, loop.get(), &QEventLoop::quit);
    detail::capture(std::move(task), outcome, loop);
    if (!outcome->finished)
        loop->exec();
    return *outcome;
}
