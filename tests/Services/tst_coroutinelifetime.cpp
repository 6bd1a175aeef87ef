// The lifetimes the coroutine rule in Services/Coroutine.h relies on. Written against GCC 12,
// which destroyed temporaries built inside a co_await expression twice: the release of a
// lambda's captures and of a braced request argument was found doubled in the service client.
// Breaking the rule here makes AddressSanitizer report a heap-use-after-free, and the counts
// below go wrong in a plain build.
#include "RunTask.h"
#include "Services/Coroutine.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QtConcurrent>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

// A value that owns heap memory and counts its copies alive.
class Tracked
{
public:
    explicit Tracked(int value) : m_value(std::make_unique<int>(value)) { ++s_alive; }
    Tracked(const Tracked &other) : m_value(std::make_unique<int>(*other.m_value)) { ++s_alive; }
    Tracked &operator=(const Tracked &) = delete;
    ~Tracked() { --s_alive; }
    int value() const { return *m_value; }
    static int alive() { return s_alive; }

private:
    std::unique_ptr<int> m_value;
    // Copies die on pool threads too.
    static inline std::atomic<int> s_alive = 0;
};

// Shaped like the service client's request: an aggregate passed by value.
struct Request {
    QString url;
    Tracked payload;
    std::shared_ptr<int> handle;
};

// Suspends for real, so that the caller's statement has ended before the body goes on.
QCoro::Task<void> pause()
{
    auto timer = QCoro::sleepFor(std::chrono::milliseconds(1));
    co_await timer;
}

QCoro::Task<int> sizeOf(Request request)
{
    auto paused = pause();
    co_await paused;
    co_return int(request.url.size()) + request.payload.value() + *request.handle;
}

QCoro::Task<int> valueOf(Tracked tracked)
{
    auto paused = pause();
    co_await paused;
    co_return tracked.value();
}

QCoro::Task<int> awaitLambdaFuture()
{
    const Tracked captured(7);
    auto future = QtConcurrent::run([captured] { return captured.value(); });
    const int value = co_await future;
    co_return value;
}

QCoro::Task<int> awaitBracedArgument()
{
    const auto handle = std::make_shared<int>(1);
    auto sending = sizeOf(Request{u"https://example.invalid/v1/models"_s, Tracked(10), handle});
    const int size = co_await sending;
    co_return size;
}

QCoro::Task<int> keepTaskPastItsArguments()
{
    // The argument is a temporary of the statement that makes the task; the task runs on after
    // it, on its own copy.
    auto task = valueOf(Tracked(42));
    auto paused = pause();
    co_await paused;
    const int value = co_await task;
    co_return value;
}

} // namespace

class CoroutineLifetimeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void valuesSurviveOnceEach_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("expected");
        QTest::newRow("lambda future") << 0 << 7;
        QTest::newRow("braced argument") << 1 << 44;
        QTest::newRow("task kept past its arguments") << 2 << 42;
    }
    void valuesSurviveOnceEach()
    {
        QFETCH(int, which);
        QFETCH(int, expected);
        QCOMPARE(Tracked::alive(), 0);
        QCoro::Task<int> (*const cases[])() = {awaitLambdaFuture, awaitBracedArgument,
                                               keepTaskPastItsArguments};
        const TaskOutcome<int> outcome = runTask(cases[which]());
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.value, expected);
        // Each copy was destroyed exactly once; a pool thread drops its copy of a lambda just
        // after the future reports, so that one may take a moment.
        QTRY_COMPARE(Tracked::alive(), 0);
    }
};

QTEST_GUILESS_MAIN(CoroutineLifetimeTest)
#include "tst_coroutinelifetime.moc"
