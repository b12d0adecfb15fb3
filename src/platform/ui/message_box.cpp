#include "platform/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "platform/ui/qt_convert.h"
#include "platform/ui/responder.h"
#include "platform/ui/ui_thread.h"

namespace platform::ui {
namespace {

ResponderSlot<MessageBoxResponder>& responder() {
    static ResponderSlot<MessageBoxResponder> slot;
    return slot;
}

Answer unattended_answer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
        case Buttons::RetryCancel:
        case Buttons::YesNoCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
    }
    return Answer::Ok;
}

QMessageBox::StandardButtons standard_buttons(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return QMessageBox::Ok;
        case Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon standard_icon(Icon icon) {
    switch (icon) {
        case Icon::None:
            return QMessageBox::NoIcon;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

Answer to_answer(int button, Buttons buttons) {
    switch (button) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Retry:
            return Answer::Retry;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            // Closed with Esc or the caption's close button.
            return unattended_answer(buttons);
    }
}

// A box that no one can see: its text goes to standard error.
Answer unattended(const MessageBoxRecord& box) {
    std::fprintf(stderr, "%s%s%s\n", box.caption.c_str(), box.caption.empty() ? "" : ": ",
                 box.text.c_str());
    return unattended_answer(box.buttons);
}

Answer show_on_ui_thread(const MessageBoxRecord& box) {
    // Over the open modal run, if any, so that the box belongs to the dialog it interrupts.
    QMessageBox dialog(standard_icon(box.icon), to_qt(box.caption), to_qt(box.text),
                       standard_buttons(box.buttons), QApplication::activeModalWidget());
    return to_answer(dialog.exec(), box.buttons);
}

}  // namespace

MessageBoxResponder set_message_box_responder(MessageBoxResponder replacement) {
    return responder().replace(std::move(replacement));
}

Answer message_box(std::string_view text, std::string_view caption, Buttons buttons, Icon icon) {
    const MessageBoxRecord box{std::string(text), std::string(caption), buttons, icon};
    if (const MessageBoxResponder answer_for = responder().get()) {
        return answer_for(box);
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || qobject_cast<QApplication*>(app) == nullptr) {
        return unattended(box);
    }
    if (on_ui_thread()) {
        return show_on_ui_thread(box);
    }
    Answer answer = Answer::Ok;
    if (!detail::send_to_ui_thread([&] { answer = show_on_ui_thread(box); })) {
        // The application has quit while the box waited to be shown: nobody can answer it.
        return unattended(box);
    }
    return answer;
}

}  // namespace platform::ui
