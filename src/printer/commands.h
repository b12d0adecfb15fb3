#pragma once

#include <cstdint>

// The printer's command codes (frames begin with kFrameStart) and its status bytes.

inline constexpr std::uint8_t kFrameStart = 0xFF;

inline constexpr std::uint8_t CMD_COLUMN_COUNT = 0x01;
inline constexpr std::uint8_t CMD_PASS_FORWARD = 0x02;
inline constexpr std::uint8_t CMD_PASS_BACKWARD = 0x03;
inline constexpr std::uint8_t CMD_ACK_REQUEST = 0x05;
inline constexpr std::uint8_t CMD_HEAD_CLEANING = 0x08;
inline constexpr std::uint8_t CMD_WAIT_IDLE = 0x35;
inline constexpr std::uint8_t CMD_PASS_UNI = 0x38;
inline constexpr std::uint8_t CMD_PASS_COUNT = 0x39;
inline constexpr std::uint8_t CMD_STOP = 0x55;
inline constexpr std::uint8_t CMD_INK_MODE = 0x60;
inline constexpr std::uint8_t CMD_Y_POSITION = 0x62;
inline constexpr std::uint8_t CMD_START_READY = 0x70;
inline constexpr std::uint8_t CMD_EMBOSS_PASSES = 0x71;
inline constexpr std::uint8_t CMD_SKIP_FEED = 0x73;
inline constexpr std::uint8_t CMD_SKIP_FEED_WAIT = 0x74;
inline constexpr std::uint8_t CMD_UV_SETTING = 0x78;
inline constexpr std::uint8_t CMD_NOT_VARNISH_ONLY = 0x80;
inline constexpr std::uint8_t CMD_RESYNC_QUERY = 0x87;
inline constexpr std::uint8_t CMD_DIRECTION = 0x88;
inline constexpr std::uint8_t CMD_DIRECTION_APPLY = 0x89;
inline constexpr std::uint8_t CMD_Y_POSITION_APPLY = 0x90;
inline constexpr std::uint8_t CMD_ROTARY_MODE = 0xA0;
inline constexpr std::uint8_t CMD_ROTARY_MODE_APPLY = 0xA1;
inline constexpr std::uint8_t CMD_IDLE_HEARTBEAT = 0xA3;
inline constexpr std::uint8_t CMD_CHECK_READY = 0xA6;
inline constexpr std::uint8_t CMD_END_Y_MOVE_BACK = 0xA7;
inline constexpr std::uint8_t CMD_END_AUTO_YZ = 0xA9;
inline constexpr std::uint8_t CMD_END_OF_PRINT = 0xAA;
inline constexpr std::uint8_t CMD_INK_CHARGING_INSTALL = 0xC1;
inline constexpr std::uint8_t CMD_INK_CHARGING_MAINTENANCE = 0xC2;

inline constexpr std::uint8_t STATUS_READY = 0x05;
inline constexpr std::uint8_t STATUS_IDLE = 0x35;            // '5'
inline constexpr std::uint8_t STATUS_PASS_ACCEPTED = 0x50;   // 'P'
inline constexpr std::uint8_t STATUS_PASS_DONE = 0x55;       // 'U'
inline constexpr std::uint8_t STATUS_RESYNC_OK = 0x61;       // 'a'
inline constexpr std::uint8_t STATUS_START_READY = 0x70;     // 'p'
inline constexpr std::uint8_t STATUS_SKIP_FEED_DONE = 0x74;  // 't'
inline constexpr std::uint8_t STATUS_CHECK_READY_OK = 0xA6;
// Any of 0xA7, 0xA8 and 0xA9 ends the wait after an after-print table command.
inline constexpr std::uint8_t STATUS_END_ACTION_DONE = 0xA7;
inline constexpr std::uint8_t STATUS_ABORTED = 0xF0;
inline constexpr std::uint8_t STATUS_JOB_FINISHED = 0xF1;

inline constexpr bool is_end_action_done(std::uint8_t status) {
    return status >= 0xA7 && status <= 0xA9;
}
