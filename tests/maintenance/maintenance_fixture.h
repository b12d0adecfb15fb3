#pragma once

#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "print_job_fixture.h"
#include "usb/driver.h"

class QWidget;

namespace test_support {

// Answers the dialogs that open, one step after another, as the operator would: a step waits
// for a shown window of its caption with an enabled button of its text, and for its condition
// (run on that window), then clicks the button. The click is queued, so a dialog it opens runs
// its modal loop outside the operator's turn and the operator keeps answering inside it.
class Operator {
  public:
    struct Step {
        std::string caption;
        std::string button;
        std::function<bool(QWidget&)> ready = nullptr;
    };

    explicit Operator(std::vector<Step> steps);

    bool done() const { return next_ == steps_.size(); }
    // The texts of the labels of each step's window when the step was taken.
    const std::vector<std::vector<std::string>>& labels() const { return labels_; }

  private:
    void poll();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::vector<std::vector<std::string>> labels_;
    QTimer timer_;
    int idle_polls_ = 0;
};

// The texts of a window's labels.
std::vector<std::string> label_texts(QWidget& window);
// Picks an item of the window's only combo box.
void pick_combo_item(QWidget& window, int index);

// The maintenance dialogs on a simulated printer of their own (every device the dialogs
// create finds it), with the job printer's fixture beside them: a main window with both lists
// and a print-loop worker, a fast clock, every box recorded.
class MaintenanceTest : public PrintJobTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the Maintenance dialog while the operator takes the steps, which end with its
    // "Close"; fails the test when a step was left.
    // Returns the label texts of each step's window.
    std::vector<std::vector<std::string>> run_maintenance(std::vector<Operator::Step> steps);

  private:
    usb::Driver* previous_driver_ = nullptr;
};

}  // namespace test_support
