#include "analysis/printpreview.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPainter>

#include <filesystem>
#include <system_error>

#include "analysis/analysis_pictures.h"
#include "analysis/createbmpdlg.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/message_box.h"

std::array<std::string, 8> g_preview_info;

namespace {

using platform::ui::Rect;
using platform::ui::Rgb;

enum Slot { kBitmap, kPath, kMode, kSize, kDate, kResolution, kDirection, kState };

// Faces of the image buttons: a coloured square with a white sign (previous, next, add,
// waiting in the printing list, printing).
platform::ui::Bitmap button_face(Rgb colour, const char* sign) {
    platform::ui::Bitmap face(40, 40, colour);
    QPainter painter(&face.image());
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(face.image().rect(), Qt::AlignCenter, QString::fromUtf8(sign));
    return face;
}

// Runs the bitmap builder for a print file; true when it ended as it always does, with 8.
bool build_bitmap(const std::string& bmp_path, const std::string& prn_path) {
    createbmpdlg::SetPaths(bmp_path, prn_path);
    createbmpdlg builder;
    builder.set_background(platform::ui::kDialogGrey);
    return builder.do_modal() == createbmpdlg::kEndCode;
}

}  // namespace

std::string preview_bitmap_path(std::string_view prn_path) {
    const std::size_t slash = prn_path.rfind('/');
    const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
    const std::string_view name = prn_path.substr(name_start);
    const std::size_t kept = name.size() >= 4 ? name.size() - 4 : 0;
    // Case-insensitive names keep one file per job where both names meet; here "a.prn" and
    // "a.PRN" are two jobs, and each needs a bitmap of its own.
    std::string extension = ".bmp";
    const std::string_view letters = name.size() >= 4 ? name.substr(name.size() - 3) : "";
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (letters[i] >= 'A' && letters[i] <= 'Z') {
            extension[i + 1] = static_cast<char>(extension[i + 1] - 'a' + 'A');
        }
    }
    return std::string(prn_path.substr(0, name_start)) + std::string(name.substr(0, kept)) +
           extension;
}

bool preview_bitmap_current(const std::string& prn_path, const std::string& bmp_path) {
    std::error_code error;
    const auto bitmap = std::filesystem::last_write_time(bmp_path, error);
    if (error) {
        return false;
    }
    const auto print_file = std::filesystem::last_write_time(prn_path, error);
    return error || bitmap >= print_file;
}

printpreview::printpreview() : Dialog("JOB PREVIEW", {760, 520}) {
    using namespace platform::ui;
    // Two frames, one round the picture and one round the job's texts, and beside the stepping
    // buttons the printer.
    add<GroupBox>(-1, Rect::from_size(10, 10, 440, 440), "");
    add<GroupBox>(-1, Rect::from_size(452, 16, 296, 188), "");
    add<Picture>(-1, Rect::from_size(612, 212, 124, 62),
                 analysis::flatbed_printer_picture(124, 62));
    add<Picture>(IDC_PREVIEW_PICTURE, Rect::from_size(20, 20, 420, 420));
    add<Static>(IDC_PREVIEW_TITLE, Rect::from_size(460, 30, 280, 40), "Title: XXXXXXXXXX.PRN");
    add<Static>(IDC_PREVIEW_MODE, Rect::from_size(460, 80, 280, 22), "Print Mode: WWWWKCMY");
    add<Static>(IDC_PREVIEW_RESOLUTION, Rect::from_size(460, 110, 280, 22),
                "Output Resolution: 720*1440dpi");
    add<Static>(IDC_PREVIEW_DATE, Rect::from_size(460, 140, 280, 22), "Last Update: 2020/7/3");
    add<Static>(IDC_PREVIEW_DIRECTION, Rect::from_size(460, 170, 280, 22),
                "Print Direction: Bidirection");
    add<ImageButton>(IDC_PREVIOUS_JOB, Rect::from_size(460, 220, 40, 40),
                     button_face(Rgb{83, 143, 205}, "<"));
    add<ImageButton>(IDC_NEXT_JOB, Rect::from_size(520, 220, 40, 40),
                     button_face(Rgb{83, 143, 205}, ">"));
    add<Button>(IDC_REGENERATE_PREVIEW, Rect::from_size(460, 280, 160, 30), "Regenerate Preview");
    add<ImageButton>(IDC_ADD_TO_QUEUE, Rect::from_size(460, 330, 40, 40),
                     button_face(Rgb{46, 160, 67}, "+"));
    add<ImageButton>(IDC_STATE_WAITING, Rect::from_size(460, 330, 40, 40),
                     button_face(Rgb{240, 180, 40}, "..."));
    add<ImageButton>(IDC_STATE_PRINTING, Rect::from_size(460, 330, 40, 40),
                     button_face(Rgb{220, 60, 50}, ">>"));
    show_control(IDC_STATE_PRINTING, false);
    add<Button>(kIdCancel, Rect::from_size(640, 470, 100, 30), "Cancel");
    on_command(IDC_REGENERATE_PREVIEW, [this] { OnBnClickedRegeneratePreview(); });
    on_command(IDC_PREVIOUS_JOB, [this] { OnBnClickedPrevious(); });
    on_command(IDC_NEXT_JOB, [this] { OnBnClickedNext(); });
    on_command(IDC_ADD_TO_QUEUE, [this] { OnBnClickedAddToQueue(); });
}

printpreview::~printpreview() {
    stop_watcher();
}

void printpreview::SetPreviewInfo(const std::string& bmp_path, const std::string& prn_path,
                                  const std::string& print_mode, const std::string& output_size,
                                  const std::string& date_modified, const std::string& resolution,
                                  const std::string& direction, const std::string& state) {
    g_preview_info = {bmp_path,      prn_path,   print_mode, output_size,
                      date_modified, resolution, direction,  state};
}

bool printpreview::OnInitDialog() {
    // A dialog opened again waits for the watcher of its last run first, so two never run.
    stop_watcher();
    watch_stop_.reset();
    show_state_buttons(g_preview_info[kState]);
    load_preview_picture(g_preview_info[kBitmap]);
    set_texts(g_preview_info[kPath], g_preview_info[kMode], g_preview_info[kResolution],
              g_preview_info[kDate], g_preview_info[kDirection]);
    watcher_ended_ = false;
    watcher_ = std::thread([this] { WatchQueueThreadProc(this); });
    return true;
}

void printpreview::set_texts(const std::string& path, const std::string& mode,
                             const std::string& resolution, const std::string& date,
                             const std::string& direction) {
    using platform::ui::Static;
    control<Static>(IDC_PREVIEW_TITLE)->set_text(path);
    control<Static>(IDC_PREVIEW_MODE)->set_text("Pring Mode: " + mode);
    control<Static>(IDC_PREVIEW_RESOLUTION)->set_text("Pring Resolution: " + resolution);
    control<Static>(IDC_PREVIEW_DATE)->set_text("Last Update: " + date);
    control<Static>(IDC_PREVIEW_DIRECTION)->set_text("Pring Direction: " + direction);
}

void printpreview::load_preview_picture(const std::string& bmp_path) {
    auto* picture = control<platform::ui::Picture>(IDC_PREVIEW_PICTURE);
    const auto image = platform::ui::Bitmap::load(bmp_path);
    if (!image) {
        // A bitmap that could not be built or read leaves the picture empty.
        picture->set_bitmap({});
        return;
    }
    // The control keeps its centre and takes the picture's size.
    const Rect r = picture->rect();
    const int left = r.left + (r.width() - image->width()) / 2;
    const int top = r.top + (r.height() - image->height()) / 2;
    picture->move(Rect::from_size(left, top, image->width(), image->height()));
    picture->set_bitmap(*image);
}

void printpreview::show_state_buttons(std::string_view state) {
    show_control(IDC_ADD_TO_QUEUE, state == JobState::wait);
    show_control(IDC_STATE_WAITING, state == JobState::ready_to_print);
    show_control(IDC_STATE_PRINTING, state == JobState::printing);
}

void printpreview::show_queue_buttons(bool queued, bool printing) {
    show_control(IDC_ADD_TO_QUEUE, !queued);
    show_control(IDC_STATE_WAITING, queued && !printing);
    show_control(IDC_STATE_PRINTING, queued && printing);
}

void printpreview::OnBnClickedRegeneratePreview() {
    // Slots 0 and 1 always name the same job (a refused step changes neither), so a rebuild
    // never writes one job's picture into another job's bitmap.
    if (build_bitmap(g_preview_info[kBitmap], g_preview_info[kPath])) {
        show_state_buttons(g_preview_info[kState]);
        load_preview_picture(g_preview_info[kBitmap]);
    }
}

void printpreview::OnBnClickedPrevious() {
    step(-1);
}

void printpreview::OnBnClickedNext() {
    step(+1);
}

void printpreview::step(int direction) {
    using platform::ui::kItemFocused;
    using platform::ui::kItemSelected;
    platform::ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
    if (!jobs) {
        return;
    }
    const int selected = jobs->next_selected();
    if (selected < 0) {
        return;
    }
    if (direction < 0 && selected == 0) {
        platform::ui::message_box("Is at First rows");
        return;
    }
    if (direction > 0 && selected == jobs->item_count() - 1) {
        platform::ui::message_box("Is at Last rows");
        return;
    }
    const int target = selected + direction;
    jobs->set_item_state(target, kItemSelected | kItemFocused, kItemSelected | kItemFocused);
    // All of the row's texts now: while its bitmap is built the window serves the workers, and
    // a row removed meanwhile would give the next job's texts under this job's title.
    const std::string path = jobs->item_text(target, JobRow::job_path);
    const std::string state = jobs->item_text(target, JobRow::state);
    const std::string mode = jobs->item_text(target, JobRow::print_mode);
    const std::string resolution = jobs->item_text(target, JobRow::resolution);
    const std::string date = jobs->item_text(target, JobRow::date_modified);
    const std::string direction_text = jobs->item_text(target, JobRow::print_direction);
    if (state == JobState::generating_data || state == JobState::error) {
        // The dialog keeps the job it shows: its path, picture, texts and buttons. Taking the
        // refused job's path here would let Add send a faulty file to printing and Regenerate
        // write its picture into the shown job's bitmap.
        platform::ui::message_box(
            "The preview failed, the file is in use or is in error, please try again later");
        return;
    }
    g_preview_info[kPath] = path;
    show_state_buttons(state);
    const std::string bmp_path = preview_bitmap_path(path);
    g_preview_info[kBitmap] = bmp_path;
    if (!preview_bitmap_current(path, bmp_path)) {
        if (build_bitmap(bmp_path, path)) {
            load_preview_picture(bmp_path);
        }
    } else {
        load_preview_picture(bmp_path);
    }
    set_texts(path, mode, resolution, date, direction_text);
}

void printpreview::OnBnClickedAddToQueue() {
    using platform::ui::kItemFocused;
    using platform::ui::kItemSelected;
    const std::string path = g_preview_info[kPath];
    if (!platform::exists(path)) {
        platform::ui::message_box("There is not find the print file.");
        return;
    }
    // Held open until the handler ends; a pipe or a device at the name is not available.
    const platform::FileHandle file = platform::open_regular_file(path);
    if (!file.is_open()) {
        platform::ui::message_box("Print File Not Available.");
        return;
    }
    platform::ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
    platform::ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST);
    const int row = jobs ? find_row_with_path(*jobs, JobRow::job_path, path) : -1;
    if (row < 0 || !printing) {
        platform::ui::message_box("There is not find the print file in list.");
        return;
    }
    JobRowTexts job;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        job[static_cast<std::size_t>(c)] = jobs->item_text(row, c);
    }
    const int queued = find_row_with_path(*printing, PrintRow::job_path, path);
    if (queued >= 0) {
        show_queue_buttons(true,
                           printing->item_text(queued, PrintRow::state) == JobState::printing);
        return;
    }
    // Only a job that waits goes to printing: the row may have turned "Error" or gone back to
    // "Generating data......" since the dialog opened.
    if (job[JobRow::state] != JobState::wait) {
        platform::ui::message_box("The job reads \"" + job[JobRow::state] +
                                  "\", not \"Wait\": it is not added to the printing list.");
        return;
    }
    jobs->set_item_text(row, JobRow::state, JobState::ready_to_print);
    show_queue_buttons(true, false);
    append_print_row(*printing, job);
    jobs->set_item_state(row, 0, kItemSelected | kItemFocused);
    jobs->set_item_state(row, kItemSelected | kItemFocused, kItemSelected | kItemFocused);
}

void printpreview::OnBnClickedCancel() {
    stop_watcher();
    end_dialog(platform::ui::kIdCancel);
}

void printpreview::stop_watcher() {
    if (!watcher_.joinable()) {
        return;
    }
    watch_stop_.set();
    // The watcher may be waiting for a call onto this thread right now: keep serving those
    // calls until it has ended, or neither side would go on.
    while (!watcher_ended_) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    watcher_.join();
}

int printpreview::WatchQueueThreadProc(printpreview* dialog) {
    while (!dialog->watch_stop_.wait(kWatchPeriodMs)) {
        // One call onto the user-interface thread: the path shown and its printing-list row
        // are read together, so a step meanwhile cannot mix two jobs.
        struct Seen {
            bool queued = false;
            bool printing = false;
        };
        const Seen seen = platform::ui::ui_call([] {
            Seen s;
            platform::ui::ListCtrl* list = engine::main_window_list(IDC_PRINTING_LIST);
            const int row =
                list ? find_row_with_path(*list, PrintRow::job_path, g_preview_info[kPath]) : -1;
            if (row >= 0) {
                s.queued = true;
                s.printing = list->item_text(row, PrintRow::state) == JobState::printing;
            }
            return s;
        });
        dialog->show_queue_buttons(seen.queued, seen.printing);
    }
    dialog->watcher_ended_ = true;
    return 0;
}
