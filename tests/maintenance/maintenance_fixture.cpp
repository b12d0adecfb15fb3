#include "maintenance_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "engine/prn_reader.h"
#include "maintenance/maintenance_common.h"
#include "maintenance/print_maintenance.h"
#include "printer/protocol_state.h"
#include "usb/driver_registry.h"

namespace test_support {

namespace {

// Polls of 2 ms without a step taken before the operator gives up: a minute.
constexpr int kMaxIdlePolls = 30000;

}  // namespace

Operator::Operator(std::vector<Step> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(2);
}

void Operator::poll() {
    if (done()) {
        return;
    }
    const Step& step = steps_[next_];
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowTitle().toStdString() != step.caption) {
            continue;
        }
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (button->text().toStdString() != step.button || !button->isEnabled() ||
                button->isHidden()) {
                continue;
            }
            if (step.ready && !step.ready(*window)) {
                return;
            }
            labels_.push_back(label_texts(*window));
            ++next_;
            idle_polls_ = 0;
            QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
            return;
        }
    }
    if (++idle_polls_ > kMaxIdlePolls) {
        // A dialog the script did not expect holds the run: stop here rather than hang.
        std::fprintf(stderr, "operator: no window \"%s\" with \"%s\" came\n", step.caption.c_str(),
                     step.button.c_str());
        std::abort();
    }
}

std::vector<std::string> label_texts(QWidget& window) {
    std::vector<std::string> texts;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            texts.push_back(label->text().toStdString());
        }
    }
    return texts;
}

void pick_combo_item(QWidget& window, int index) {
    window.findChild<QComboBox*>()->setCurrentIndex(index);
}

void MaintenanceTest::SetUp() {
    PrintJobTest::SetUp();
    previous_driver_ = usb::set_driver(&bus_);
    // No job printed since the program started.
    g_pass_count = 0;
    g_ink_mode = 0;
    g_nozzle_print_error = 0;
}

void MaintenanceTest::TearDown() {
    usb::set_driver(previous_driver_);
    PrintJobTest::TearDown();
}

std::vector<std::vector<std::string>> MaintenanceTest::run_maintenance(
    std::vector<Operator::Step> steps) {
    Operator op(std::move(steps));
    printmaintenance dialog;
    maintenance::run_dialog(dialog);
    EXPECT_TRUE(op.done());
    return op.labels();
}

}  // namespace test_support
