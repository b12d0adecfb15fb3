// The virtual-printer set-up run as root, which the operator's tests cannot show: the backend
// never delivers into root's folders, so root's set-up makes no queue.
#include <gtest/gtest.h>
#include <unistd.h>

#include "scripted_spooler.h"

namespace {

class VirtualPrinterSetupAsRoot : public test_support::VirtualPrinterSetupTest {
  protected:
    VirtualPrinterSetupAsRoot() { as_root_ = true; }
};

TEST_F(VirtualPrinterSetupAsRoot, RootIsNoOperatorAndTheSetUpStopsSayingSo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root is root (CI runs this program as root)";
    }
    spooler_.queues = {{"Norvaxel_printer_WW", "velquorin-pdf:/old/ww"}};
    const settings::SetupOutcome outcome = run();
    EXPECT_EQ(outcome.code, kSetupHotFolderRefused);
    EXPECT_EQ(settings::virtual_printer_setup_message(outcome),
              std::string(settings::kHotFolderRefusedText) +
                  "\nroot is no ordinary user; run Velquorin as the operator");
    EXPECT_TRUE(spooler_.added.empty());
    EXPECT_TRUE(spooler_.deleted.empty());
}

}  // namespace
