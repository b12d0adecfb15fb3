#pragma once

#include <mutex>
#include <utility>

namespace platform::ui {

// The process-wide stand-in for the operator of one kind of modal question (message boxes,
// menus, file dialogs). Tests install one so that nothing waits for a person; any thread may
// ask while another installs.
template <class Function>
class ResponderSlot {
  public:
    Function replace(Function next) {
        std::lock_guard lock(mutex_);
        return std::exchange(current_, std::move(next));
    }
    Function get() const {
        std::lock_guard lock(mutex_);
        return current_;
    }

  private:
    mutable std::mutex mutex_;
    Function current_;
};

}  // namespace platform::ui
