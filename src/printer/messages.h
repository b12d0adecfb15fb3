#pragma once

// The texts of the protocol's message boxes: a Chinese sentence, a line break, an English
// sentence. Retry/Cancel boxes carry the stop icon, OK boxes no icon.
namespace printer {

// pass retry (Retry/Cancel)
inline constexpr const char* kPassRetryText =
    "打印命令异常中断，打印机未连接或USB线缆中断,请点击重试继续打印,点击取消结束本次打印任务.\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// pass failure (OK)
inline constexpr const char* kPassFailureText =
    "命令数据中断，打印即将被终止，请检查USB电缆!\n"
    "Data interrupt, Printing will be terminated, please check the USB cable.";
// resync retry (Retry/Cancel)
inline constexpr const char* kResyncRetryText =
    "数据查询异常中断，打印机未连接或USB线缆中断,请点击重试尝试继续打印,点击取消结束本次打印任务.\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// acknowledge retry (Retry/Cancel)
inline constexpr const char* kAckRetryText =
    "命令传输中断，打印机未连接或USB线缆中断,请点击重试继续打印,点击取消结束本次打印任务.\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// acknowledge failure (OK)
inline constexpr const char* kAckFailureText =
    "命令传输中断，打印机未连接或USB线缆中断,打印任务即将被终止，请检查USB线缆后重试\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// wait failure (OK)
inline constexpr const char* kWaitFailureText =
    "命令数据中断，打印将被终止取消，请检查USB电缆并重试!\n"
    "Data interrupt, Printing will be terminated, please check the USB cable.";
// band retry (Retry/Cancel)
inline constexpr const char* kBandRetryText =
    "数据传输异常中断，打印机未连接或USB线缆中断,请点击重试继续打印,点击取消结束本次打印任务.\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// band failure (OK)
inline constexpr const char* kBandFailureText =
    "数据连接错误，打印即将被终止，请检查USB电缆!\n"
    "Data interrupt, Printing will be terminated, please check the USB cable.";
// band retry (maintenance side) (Retry/Cancel)
inline constexpr const char* kMaintenanceBandRetryText =
    "数据中断，打印机未连接或USB线缆中断,请点击重试继续打印,点击取消结束本次打印任务.\n"
    "Data interrupt, please check the USB cable and Wait until print recovery.";
// wait failure (maintenance side) (OK)
inline constexpr const char* kMaintenanceWaitFailureText =
    "命令中断，打印将被终止取消，请检查USB电缆并重试!\n"
    "Data interrupt, Printing will be terminated, please check the USB cable.";

}  // namespace printer
