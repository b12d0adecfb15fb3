#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform::ui {

enum class Buttons { Ok, OkCancel, RetryCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Question, Stop };
enum class Answer { Ok, Cancel, Retry, Yes, No };

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

// Answers a box in place of the operator. Tests install one to record every box.
using MessageBoxResponder = std::function<Answer(const MessageBoxRecord&)>;

// Installs (or, with an empty function, removes) the process-wide responder; returns the
// one it replaces.
MessageBoxResponder set_message_box_responder(MessageBoxResponder responder);

// Shows a message box and waits for the answer; callable from any thread. With a responder
// installed the responder answers. With a Qt application running the box is shown on the UI
// thread while the calling thread waits. With neither, the text goes to standard error and
// the answer is the one that ends the operation (Cancel, No, or Ok), never Retry, so nothing
// loops on an unattended box.
Answer message_box(std::string_view text, std::string_view caption = {},
                   Buttons buttons = Buttons::Ok, Icon icon = Icon::None);

}  // namespace platform::ui
