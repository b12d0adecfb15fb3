#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>

// Every window belongs to the UI thread, the thread of the Qt application. A call made on
// another thread is carried out on the UI thread while the caller waits, as a sent window
// message would be: each call is one such message, so a sequence of calls from a worker is not
// atomic against the other threads. The UI thread serves these calls whenever it runs its event
// loop, including inside every modal run, message box and menu; it never waits for a worker,
// so a worker's call never deadlocks against a modal run.
//
// Once the application quits (its event loop has returned) or is destroyed, nothing serves
// these calls any more: a worker's call that is waiting then, or comes later, returns without
// running, with a default value (0, false, an empty text), as a message sent to a window that
// is gone answers 0. So a worker caught in a call at shutdown is never kept from ending while
// the UI thread waits for it.
namespace platform::ui {

// Ends the serving of workers' calls now, as the application's quitting does: for a program
// whose main window is a modal run rather than the application's event loop, to call once
// that run has returned and before the UI thread waits for its workers to end.
void stop_serving_calls();

// True on the UI thread, and also while no application has been created yet (then nothing can
// be marshalled and calls run where they are made).
bool on_ui_thread();

// Runs work on a helper thread and waits for it on the UI thread, which meanwhile serves the
// workers' calls and repaints but takes no input, so no other command can start under the
// work. For work that may take long (a copy of a large print file) in a command of a window.
// Call it on the UI thread.
void run_on_helper_thread(const std::function<void()>& work);

namespace detail {
// Runs work on the UI thread and returns when it has run; false, without running it, when
// the application has quit or is gone.
bool send_to_ui_thread(const std::function<void()>& work);
}  // namespace detail

// Runs f on the UI thread, waiting for it when called from another thread, and returns its
// result. On the UI thread f runs at once. After the application has quit a worker's call
// returns a value-initialised result without running f; a call that returns a reference then
// throws std::runtime_error, since there is nothing it could refer to.
template <class F>
decltype(auto) ui_call(F&& f) {
    using Result = std::invoke_result_t<F&>;
    if (on_ui_thread()) {
        return f();
    }
    if constexpr (std::is_void_v<Result>) {
        detail::send_to_ui_thread([&] { f(); });
    } else if constexpr (std::is_lvalue_reference_v<Result>) {
        std::remove_reference_t<Result>* result = nullptr;
        if (!detail::send_to_ui_thread([&] { result = &f(); })) {
            throw std::runtime_error("the user interface has closed");
        }
        return *result;
    } else {
        std::optional<std::decay_t<Result>> result;
        if (!detail::send_to_ui_thread([&] { result.emplace(f()); })) {
            return std::decay_t<Result>{};
        }
        return std::decay_t<Result>(std::move(*result));
    }
}

}  // namespace platform::ui
