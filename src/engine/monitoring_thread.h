#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/thread.h"
#include "printer/printer_protocol.h"

// The thread messages that give a worker its role for the life of the process. Start-up
// creates the six workers in the order of the list below and posts each its message.
inline constexpr std::uint32_t WM_MT_WATCH_HOT_FOLDER = 0x469;
inline constexpr std::uint32_t WM_MT_SYNC_JOB_QUEUE = 0x46A;
inline constexpr std::uint32_t WM_MT_UPDATE_JOB_INFO = 0x46B;
inline constexpr std::uint32_t WM_MT_PRINT_LOOP = 0x46C;
inline constexpr std::uint32_t WM_MT_SCAN_VIRTUAL_HOT_FOLDER = 0x46D;
inline constexpr std::uint32_t WM_MT_ESTIMATE_PRINT_TIME = 0x476;

// The worker-thread class: every background role of the program runs in one of these. Each
// object opens its own printer connection when it is built (the protocol base creates and
// opens the device), and its message queue exists from construction, so the role message may
// be posted before or after start(). A role handler loops until the owner asks the thread to
// stop; the program never does, so its roles run for the life of the process.
class Monitoring_thread : public platform::WorkerThread, public PrinterProtocol {
  public:
    // A role's loop, for the roles whose work lives in the layers above the engine (job
    // intake, the collector, the estimate): the layer registers it at start-up, and the
    // role's handler runs it on the worker. It should return once stop_requested() is true.
    using RoleBody = std::function<void(Monitoring_thread&)>;
    // Sets the body that the handler of role message `message` runs (empty removes it). A body
    // set for WM_MT_PRINT_LOOP stands in for the print loop (tests that work the lists by hand).
    static void set_role_body(std::uint32_t message, RoleBody body);

    // Opens the program's printer driver, or `driver` when given (tests).
    explicit Monitoring_thread(usb::Driver* driver = nullptr);
    ~Monitoring_thread() override;

    void OnWatchHotFolder(std::uintptr_t wparam, std::intptr_t lparam);
    void OnSyncJobQueue(std::uintptr_t wparam, std::intptr_t lparam);
    void OnUpdateJobInfo(std::uintptr_t wparam, std::intptr_t lparam);
    void OnPrintLoop(std::uintptr_t wparam, std::intptr_t lparam);
    void OnEstimatePrintTime(std::uintptr_t wparam, std::intptr_t lparam);
    void OnScanVirtualHotFolder(std::uintptr_t wparam, std::intptr_t lparam);

    // Sleeps ms of program time in slices, returning early once the thread is asked to stop,
    // so that a role's pauses never hold up the end of its worker by more than a tenth of a
    // second.
    void pause(std::uint32_t ms);

    // The synchroniser's start-up scan of a folder of the job folder tree: queues every print
    // file as appeared and cleans the folder. Lives with the job intake, which alone calls it.
    void scan_prn_folder(const std::string& folder);

    // Prints one job: the first row of the printing list, whose "Job Title" is `path`.
    void PrintJob(const std::string& path);

    // The thread's own device, created by the constructor and never deleted before the
    // object. The protocol's transfers go through its endpoints, which control_endpoint and
    // bulk_endpoint (members this class has from the protocol) take from it before each one.
    CUsbDevice* usb_device = nullptr;

  private:
    // Runs the body set for the role; false when none is set.
    bool run_role(std::uint32_t message);

    // The job printer's steps.
    // True when the job is stopped: the stop flag, or the printer no longer the job's.
    bool stopped();
    // Waits for the previous pass when one is under way, then starts the pass just sent.
    void hand_off_pass();
    // Builds the pass data of the window with its pass bookkeeping and sends it.
    void print_window();
    // The band's emboss passes (white and varnish only) and its full pass.
    void send_band_passes();
    // True when the job has no stepping or does not fit the pass buffers: it is refused once.
    bool refuse_unprintable_job(const std::string& path, bool braille);
    // Ends a job that printed nothing: the file closed and the printer given back before the
    // operator is told why (the file could not be read, or, when the image mode was known, the
    // job does not fit), then the job leaves printing and waits in the job queue.
    void drop_unprintable_job(const std::string& path, bool mode_known);
    // A read of the print file failed: the job stops, and so does the printer's job.
    void stop_on_read_error();
    // True when a set-up step stopped the job; the printer is then idle and the file closed.
    bool stopped_in_setup();
    // The set-up commands; false when one stopped the job.
    bool send_setup_commands();
    // The tail bands, the end of the job, the wait for the printer and the after-print command,
    // on a job that still owns the printer; progress in bands when divisor is above 0.
    void finish_job(const std::string& path, int divisor, std::uint64_t bands_printed);
    // The end-of-job wait: until the printer reports the job finished, it stops, or 35 s.
    void wait_job_finished();
    // Sends the after-print table command and waits for its answer, bounded; a stop or the
    // bound stops the job.
    void wait_end_action(std::uint8_t command);
};
