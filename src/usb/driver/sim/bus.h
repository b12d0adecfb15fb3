#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "usb/driver.h"
#include "usb/driver/sim/cable.h"
#include "usb/driver/sim/descriptor_tables.h"
#include "usb/driver/sim/printer_model.h"
#include "usb/transfer_header.h"

// The simulated printer's USB side: a driver that registers its printers under the interface
// GUID, answers the standard requests on endpoint 0 from the printer's descriptor tables and
// the driver's information calls, hands class requests and bulk OUT data to the printer's
// model, and completes every transfer on its own thread after the time the link would take,
// on the program's (scaled) clock.
namespace usb::sim {

class Bus;

// Which transfers a script may hold until they are aborted.
enum class TransferKind { ClassOut, ClassIn, BulkOut };

// One printer on the bus. Its scripting calls may come from any thread.
class Printer : public Cable {
  public:
    const std::string& path() const { return path_; }
    const PrinterSpec& spec() const { return spec_; }

    // Pulls the cable: the printer leaves the enumeration, its transfers under way end as
    // failed and every handle opened on it stays dead; replug brings it back for new opens.
    void unplug();
    void replug();
    // Unplugs now and plugs in again after ms of program time.
    void unplug_for(std::uint32_t ms) override;
    bool plugged() const;

    // The next count transfers of a kind stay under way until they are aborted (or the
    // printer is unplugged, or the handle closed).
    void hold_next(TransferKind kind, int count = 1);

    void set_model(std::shared_ptr<PrinterModel> model);
    std::shared_ptr<PrinterModel> model() const;

    // Handles opened on the printer since it was last plugged in and not closed.
    std::size_t open_handles() const;

  private:
    friend class Bus;
    Printer(Bus& bus, std::string path, const PrinterSpec& spec,
            std::shared_ptr<PrinterModel> model);
    // Plugs a printer in whose time off the bus is over. Every look at the plug state goes
    // through it, so the printer is back at its time however late the bus's thread runs.
    void replug_if_due_locked(std::uint32_t now) const;

    Bus& bus_;
    const std::string path_;
    const PrinterSpec spec_;
    const DescriptorTables tables_;
    const std::uint8_t address_;
    // Guarded by the bus's lock.
    mutable bool plugged_ = true;
    std::uint32_t generation_ = 0;
    mutable bool replug_pending_ = false;
    std::uint32_t replug_at_ = 0;
    std::array<int, 3> holds_{};
    std::map<std::uint8_t, std::uint32_t> pipe_free_at_;
    std::shared_ptr<PrinterModel> model_;
};

// A driver call with a transfer header, as the bus saw it when it was made.
struct TransferLogEntry {
    std::uint64_t handle = 0;
    std::uint32_t code = 0;
    std::array<std::uint8_t, kTransferHeaderSize> header{};
    std::uint32_t in_length = 0;
    std::uint32_t out_length = 0;
};

class Bus : public Driver {
  public:
    Bus();
    ~Bus() override;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Adds a printer, plugged in; without a model it gets a RecordingModel.
    std::shared_ptr<Printer> add_printer(const PrinterSpec& spec = PrinterSpec::usb2(),
                                         std::shared_ptr<PrinterModel> model = nullptr);
    std::vector<std::shared_ptr<Printer>> printers() const;

    // The last kLogLength transfer calls, oldest first.
    std::vector<TransferLogEntry> transfer_log() const;
    void clear_transfer_log();
    std::size_t pending_transfers() const;

    static constexpr std::size_t kLogLength = 256;
    // A control transfer's time on the wire, in program ms.
    static constexpr std::uint32_t kControlLatencyMs = 1;

    std::unique_ptr<DeviceInterfaceSet> present_interfaces(const Guid& guid) override;
    std::uint64_t open(const std::string& path, std::uint32_t flags, std::uint32_t& error) override;
    bool close(std::uint64_t handle) override;
    bool io_control(std::uint64_t handle, std::uint32_t code, void* in, std::uint32_t in_length,
                    void* out, std::uint32_t out_length, std::uint32_t& returned,
                    std::uint32_t& error) override;
    std::uint32_t io_control_overlapped(std::uint64_t handle, std::uint32_t code, void* in,
                                        std::uint32_t in_length, void* out,
                                        std::uint32_t out_length, IoRecord& record) override;
    // Completes, on the calling thread, the transfers whose time has come.
    void complete_due() override;

  private:
    friend class Printer;

    enum class Work { Standard, Class, BulkOut, BulkIn };

    struct Handle {
        Printer* printer = nullptr;
        std::uint32_t generation = 0;
        std::uint32_t flags = 0;
    };

    struct Pending {
        std::uint64_t handle = 0;
        Printer* printer = nullptr;
        std::uint8_t pipe = 0;
        Work work = Work::Standard;
        std::uint8_t* header = nullptr;
        std::uint8_t* data = nullptr;
        std::uint32_t data_length = 0;
        std::uint32_t data_offset = 0;  // what the completion adds to the data bytes returned
        IoRecord* record = nullptr;
        bool has_due = false;
        std::uint32_t due = 0;
        bool held = false;
        bool completing = false;
        std::thread::id completer;       // the thread that performs it while completing
        bool expired_on_due = false;     // the firmware stayed silent: the due is the time-out
        std::uint32_t cancel_error = 0;  // set while completing: end it failed
    };

    struct Outcome {
        bool silent = false;
        std::uint32_t bytes = 0;
        std::uint32_t error = kErrorNone;
        std::uint32_t usbd = 0;
    };

    std::uint32_t submit_locked(std::uint64_t handle, std::uint32_t code, std::uint8_t* in,
                                std::uint32_t in_length, std::uint8_t* out,
                                std::uint32_t out_length, IoRecord& record, bool synchronous);
    std::uint32_t answer_information(const Printer& printer, std::uint32_t code, std::uint8_t* out,
                                     std::uint32_t out_length, std::uint32_t& returned) const;
    void log_locked(std::uint64_t handle, std::uint32_t code, const std::uint8_t* header,
                    std::uint32_t in_length, std::uint32_t out_length);
    bool take_hold_locked(Printer& printer, TransferKind kind);
    // Ends every transfer under way that the filter picks with the error; waits for those
    // that are being completed (unless called by the completion thread itself).
    using PendingFilter = std::function<bool(const Pending&)>;
    void cancel_locked(std::unique_lock<std::mutex>& lock, const PendingFilter& filter,
                       std::uint32_t error);
    void end_locked(std::list<Pending>::iterator it, const Outcome& outcome);
    Outcome perform(Pending& pending, const std::shared_ptr<PrinterModel>& model);
    // The transfer due soonest that may be completed now (its due passed when due_only), or
    // the end of the list.
    std::list<Pending>::iterator soonest_locked(std::uint32_t now, bool due_only,
                                                std::int32_t& wait);
    // Completes a transfer whose time has come: the model's work without the lock, then its
    // end (or, for a firmware that stays silent, its time-out).
    void complete_locked(std::unique_lock<std::mutex>& lock, std::list<Pending>::iterator it);
    void run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<Printer>> printers_;
    std::map<std::uint64_t, Handle> handles_;
    std::uint64_t next_handle_ = 1;
    std::list<Pending> pending_;
    std::deque<TransferLogEntry> log_;
    bool stop_ = false;
    std::thread thread_;
};

// The bus the program uses with VELQUORIN_PRINTER=sim: one USB 2 high-speed printer running
// the simulated firmware, recording to VELQUORIN_SIM_CAPTURE when that is set.
Bus& program_bus();

}  // namespace usb::sim
