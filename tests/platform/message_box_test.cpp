#include "platform/ui/message_box.h"

#include <gtest/gtest.h>

#include <thread>

#include "message_box_recorder.h"

namespace {

using platform::ui::Answer;
using platform::ui::Buttons;
using platform::ui::Icon;

TEST(MessageBox, RecorderAnswersAndRecordsBoxesFromAnyThread) {
    test_support::MessageBoxRecorder recorder(Answer::Cancel);
    recorder.queue_answer(Answer::Retry);
    Answer first = Answer::Ok;
    std::thread worker([&] {
        first = platform::ui::message_box("USB error\nTransfer failed", "", Buttons::RetryCancel,
                                          Icon::Stop);
    });
    worker.join();
    EXPECT_EQ(first, Answer::Retry);
    EXPECT_EQ(platform::ui::message_box("again", "", Buttons::RetryCancel), Answer::Cancel);
    const auto boxes = recorder.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "USB error\nTransfer failed");
    EXPECT_EQ(boxes[0].buttons, Buttons::RetryCancel);
    EXPECT_EQ(boxes[0].icon, Icon::Stop);
}

TEST(MessageBox, UnattendedBoxNeverAsksForARetry) {
    // No responder and no application: the box ends the operation.
    EXPECT_EQ(platform::ui::message_box("x", "", Buttons::RetryCancel), Answer::Cancel);
    EXPECT_EQ(platform::ui::message_box("x", "", Buttons::YesNo), Answer::No);
    EXPECT_EQ(platform::ui::message_box("x"), Answer::Ok);
}

}  // namespace
