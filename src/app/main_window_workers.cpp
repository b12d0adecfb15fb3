// The main window's six workers: made in one burst, then each given its role.

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <thread>

#include "app/after_print_chooser.h"
#include "app/velquorin_dlg.h"
#include "app/workstation_lock.h"
#include "engine/monitoring_thread.h"
#include "jobs/job_print_settings.h"

CvelquorinDlg::~CvelquorinDlg() {
    end_import();
    // A worker may be waiting for a call into this window right now: the window keeps serving
    // those calls while its workers end, or neither side would ever go on.
    for (auto& worker : workers_) {
        if (worker) {
            worker->request_stop();
        }
    }
    std::atomic<bool> ended{false};
    std::thread ender([this, &ended] {
        for (auto& worker : workers_) {
            worker.reset();
        }
        ended = true;
    });
    while (!ended) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ender.join();
    if (engine::main_window() == this) {
        engine::register_main_window(nullptr);
    }
}

void CvelquorinDlg::WorkerDeleter::operator()(Monitoring_thread* worker) const {
    delete worker;
}

Monitoring_thread* CvelquorinDlg::worker(int index) const {
    if (index < 0 || index >= kWorkerCount) {
        return nullptr;
    }
    return workers_[static_cast<std::size_t>(index)].get();
}

void CvelquorinDlg::start_workers() {
    // All six threads run before the first role message is posted; each thread's queue exists
    // from its construction, so no message can be lost to a thread not yet waiting.
    for (auto& worker : workers_) {
        worker.reset(new Monitoring_thread);
        worker->start();
    }
    // The order of the posts is the order in which the roles begin. The collector is the
    // sixth thread and the print-time estimate the fifth, the collector's message going first.
    workers_[0]->post(WM_MT_WATCH_HOT_FOLDER);
    workers_[1]->post(WM_MT_SYNC_JOB_QUEUE);
    workers_[2]->post(WM_MT_UPDATE_JOB_INFO);
    workers_[3]->post(WM_MT_PRINT_LOOP);
    workers_[5]->post(WM_MT_SCAN_VIRTUAL_HOT_FOLDER);
    workers_[4]->post(WM_MT_ESTIMATE_PRINT_TIME);
}
