#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// Every window belongs to the UI thread, the thread of the Qt application. A call made on
// another thread is carried out on the UI thread while the caller waits, as a sent window
// message would be: each call is one such message, so a sequence of calls from a worker is not
// atomic against the other threads. The UI thread serves these calls whenever it runs its event
// loop, including inside every modal run, message box and menu; it never waits for a worker,
// so a worker's call never deadlocks against a modal run.
namespace platform::ui {

// True on the UI thread, and also while no application exists (then nothing can be marshalled
// and calls run where they are made).
bool on_ui_thread();

namespace detail {
// Runs work on the UI thread and returns when it has run.
void send_to_ui_thread(const std::function<void()>& work);
}  // namespace detail

// Runs f on the UI thread, waiting for it when called from another thread, and returns its
// result. On the UI thread f runs at once.
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
        detail::send_to_ui_thread([&] { result = &f(); });
        return *result;
    } else {
        std::optional<std::decay_t<Result>> result;
        detail::send_to_ui_thread([&] { result.emplace(f()); });
        return std::decay_t<Result>(std::move(*result));
    }
}

}  // namespace platform::ui
