#pragma once

// Every coroutine of the program follows one rule, because GCC 12 gets two lifetimes wrong
// (tests/Services/tst_coroutinelifetime.cpp pins both):
// - A coroutine takes its parameters by value. A reference parameter dangles as soon as a caller
//   keeps the task past the statement that made it, and nothing at the call shows that.
// - A co_await awaits a named local: `auto task = f(args); co_await task;`. A temporary built
//   inside a co_await expression (a lambda, a braced aggregate argument) is destroyed twice.
//   An awaiter that cannot be copied is moved in from its named local: `co_await std::move(w);`.
// A member coroutine copies what it needs from `this` before its first suspension, or holds
// `this` in a QPointer and checks it after every co_await.

#include <QCoroTask>
