// The main of every test program: GoogleTest's, with one rule more. Where
// VELQUORIN_TEST_NO_SKIP is set (CI sets it), a test that skips fails: on such a machine every
// component a test needs is there, so a skip could only hide one that does not work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace {

class SkipIsFailure : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override {
        if (test.result()->Skipped()) {
            ADD_FAILURE() << "skipped, but VELQUORIN_TEST_NO_SKIP says that nothing a test needs "
                             "is missing here";
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* no_skip = std::getenv("VELQUORIN_TEST_NO_SKIP");
    if (no_skip != nullptr && std::string_view(no_skip) != "" && std::string_view(no_skip) != "0") {
        ::testing::UnitTest::GetInstance()->listeners().Append(new SkipIsFailure);
    }
    return RUN_ALL_TESTS();
}
