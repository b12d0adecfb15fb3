#include "platform/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <mutex>

namespace platform::ui {
namespace {

std::mutex& responder_mutex() {
    static std::mutex mutex;
    return mutex;
}

MessageBoxResponder& responder() {
    static MessageBoxResponder current;
    return current;
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

Answer show_on_ui_thread(const MessageBoxRecord& box) {
    QMessageBox dialog(standard_icon(box.icon), QString::fromStdString(box.caption),
                       QString::fromStdString(box.text), standard_buttons(box.buttons));
    return to_answer(dialog.exec(), box.buttons);
}

}  // namespace

MessageBoxResponder set_message_box_responder(MessageBoxResponder replacement) {
    std::lock_guard lock(responder_mutex());
    MessageBoxResponder previous = std::move(responder());
    responder() = std::move(replacement);
    return previous;
}

Answer message_box(std::string_view text, std::string_view caption, Buttons buttons, Icon icon) {
    const MessageBoxRecord box{std::string(text), std::string(caption), buttons, icon};
    MessageBoxResponder answer_for;
    {
        std::lock_guard lock(responder_mutex());
        answer_for = responder();
    }
    if (answer_for) {
        return answer_for(box);
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || qobject_cast<QApplication*>(app) == nullptr) {
        std::fprintf(stderr, "%s%s%s\n", box.caption.c_str(), box.caption.empty() ? "" : ": ",
                     box.text.c_str());
        return unattended_answer(buttons);
    }
    if (QThread::currentThread() == app->thread()) {
        return show_on_ui_thread(box);
    }
    Answer answer = unattended_answer(buttons);
    QMetaObject::invokeMethod(
        app, [&] { answer = show_on_ui_thread(box); }, Qt::BlockingQueuedConnection);
    return answer;
}

}  // namespace platform::ui
