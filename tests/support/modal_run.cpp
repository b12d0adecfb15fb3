#include "modal_run.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "platform/ui/dialog.h"

namespace test_support {

int run_modal(platform::ui::Dialog& dialog, const std::function<void()>& steps, int timeout_ms) {
    // Timers of the test's own: the first event of the run takes the steps; one that never fired
    // (the dialog ended while opening) goes with the call.
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, [&] {
        if (dialog.in_modal_run()) {
            steps();
        }
    });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [&] { dialog.end_dialog(kRunNotEnded); });
    start.start(0);
    bound.start(timeout_ms);
    return dialog.do_modal();
}

void click_when_modal_opens(const std::string& caption, const std::string& button) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, caption, button] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->windowTitle() != QString::fromStdString(caption)) {
            return;
        }
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
            // A button that is not enabled yet (the dialog is still finding out) is clicked
            // once it is.
            if (b->text() == QString::fromStdString(button) && b->isEnabled()) {
                timer->stop();
                timer->deleteLater();
                b->click();
                return;
            }
        }
    });
    timer->start(20);
}

}  // namespace test_support
