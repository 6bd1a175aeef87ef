#include "Models/TaskHandle.h"

#include "Models/AppError.h"

#include <atomic>
#include <vector>

struct TaskHandle::Registration::State {
    quint64 id = 0;
    bool cancelled = false;
    quint64 nextKey = 1;
    std::map<quint64, std::function<void()>> hooks;
};

namespace
{
std::atomic<quint64> nextTaskId{1};
}

TaskHandle::TaskHandle() : m_state(std::make_shared<Registration::State>())
{
    m_state->id = nextTaskId.fetch_add(1);
}

void TaskHandle::cancel() const
{
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    // Hooks may drop their own registration while running: take them out first.
    std::vector<std::function<void()>> hooks;
    for (auto &entry : m_state->hooks)
        hooks.push_back(std::move(entry.second));
    m_state->hooks.clear();
    for (auto &hook : hooks)
        hook();
}

bool TaskHandle::isCancelled() const
{
    return m_state->cancelled;
}

void TaskHandle::throwIfCancelled() const
{
    if (m_state->cancelled)
        throw AppError::cancelled();
}

quint64 TaskHandle::id() const
{
    return m_state->id;
}

TaskHandle::Registration TaskHandle::onCancel(std::function<void()> hook) const
{
    if (m_state->cancelled) {
        hook();
        return {};
    }
    const quint64 key = m_state->nextKey++;
    m_state->hooks.emplace(key, std::move(hook));
    return Registration(m_state, key);
}

TaskHandle::Registration::Registration(std::weak_ptr<State> state, quint64 key)
    : m_state(std::move(state)), m_key(key)
{
}

TaskHandle::Registration::Registration(Registration &&other) noexcept
    : m_state(std::move(other.m_state)), m_key(std::exchange(other.m_key, 0))
{
}

TaskHandle::Registration &TaskHandle::Registration::operator=(Registration &&other) noexcept
{
    if (this != &other) {
        if (auto state = m_state.lock())
            state->hooks.erase(m_key);
        m_state = std::move(other.m_state);
        m_key = std::exchange(other.m_key, 0);
    }
    return *this;
}

TaskHandle::Registration::~Registration()
{
    if (auto state = m_state.lock())
        state->hooks.erase(m_key);
}
