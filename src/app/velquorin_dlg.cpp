#include "app/velquorin_dlg.h"

#include "app/after_print_chooser.h"
#include "app/app_globals.h"
#include "app/button_images.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_frame.h"
#include "app/main_window_ids.h"
#include "app/main_window_layout.h"
#include "app/printing_list.h"
#include "app/single_instance.h"
#include "app/startup_checks.h"
#include "app/startup_flags.h"
#include "app/workstation_lock.h"
#include "config/program_globals.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_print_settings.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "platform/ui/screen.h"

namespace {

namespace ui = platform::ui;

constexpr ui::Rgb kWindowGrey = ui::Rgb::from_bgr(0xF2F2F2);
constexpr ui::Rgb kBlack{0, 0, 0};

// The window's own message: a later start asked for the window.
constexpr std::uint32_t kShowRequestMessage = 0x8001;

// The image buttons with their start states; their commands come with the window's commands.
struct ImageButtonSpec {
    int id;
    bool enabled;
    bool grey_face;
};
constexpr ImageButtonSpec kImageButtons[] = {
    {IDC_IMPORT_BUTTON, true, true},
    {IDC_SAVE_BUTTON, false, true},
    {IDC_PRINT_BUTTON, false, true},
    {IDC_DELETE_BUTTON, false, true},
    {IDC_SETTING_BUTTON, true, true},
    {IDC_MAINTENANCE_BUTTON, true, true},
    {IDC_NEW_JOB_BUTTON, true, true},
    {IDC_REMOVE_BUTTON, false, true},
    {IDC_AFTER_PRINT_BUTTON, false, true},
    // Disabled at start-up unless rotary printing is set; keeps the default face.
    {IDC_ROTARY_BUTTON, true, false},
    {IDC_PREVIEW_BUTTON, false, false},
};

}  // namespace

CvelquorinDlg::CvelquorinDlg()
    : Dialog("Norvaxel", app::kTemplateClientSize),
      icon_(app::program_icon()),
      printing_label_text_("Printing progress"),
      job_queue_label_text_(job_queue_label(0)) {
    // The class name by which a later start finds the running window.
    set_class_name(app::kInstanceName);
    // The grey of the list titles and the button faces.
    set_background(kWindowGrey);
    // The program's own run: it blocks no other window, so the tray icon answers while the
    // window is shown, as it does while it is hidden.
    set_application_modal(false);
    // The window draws its own caption band; the controls go below it.
    set_own_frame(std::make_unique<app::MainWindowFrame>(std::string(g_caption_text)));
    create_controls();
    after_print_chooser_ = std::make_unique<ascadd>();
    print_settings_ = std::make_unique<printingset>();
    connect_commands();
    on_message(kShowRequestMessage, [this](std::uintptr_t, std::intptr_t) {
        bring_back();
        return std::intptr_t{0};
    });
}

void CvelquorinDlg::create_controls() {
    const auto at = [](int id) { return app::template_rect(id); };
    for (const ImageButtonSpec& spec : kImageButtons) {
        auto& button = add<ui::ImageButton>(spec.id, at(spec.id), app::button_image(spec.id));
        button.enable(spec.enabled);
    }
    add<ui::Button>(IDC_PRINTED_LIST_BUTTON, at(IDC_PRINTED_LIST_BUTTON), "Printed list");
    // Each list title reaches one pixel into its list's top edge; the titles are made first so
    // that the lists lie above them and their frame line is drawn whole.
    add<ui::Static>(IDC_PRINTING_LABEL, at(IDC_PRINTING_LABEL), "");
    add<ui::Static>(IDC_JOB_QUEUE_LABEL, at(IDC_JOB_QUEUE_LABEL), "");
    job_queue_ = &add<MyListCtrl>(IDC_JOB_QUEUE_LIST, at(IDC_JOB_QUEUE_LIST));
    printing_ = &add<cprocess>(IDC_PRINTING_LIST, at(IDC_PRINTING_LIST));
    connection_picture_ = &add<ui::Picture>(IDC_CONNECTION_PICTURE, at(IDC_CONNECTION_PICTURE));
    separator_ = &add<ui::Picture>(IDC_SEPARATOR, at(IDC_SEPARATOR),
                                   app::separator_image(at(IDC_SEPARATOR).width()));
    // Every static takes the colours its owner gives it.
    for (const int id : {IDC_PRINTING_LABEL, IDC_JOB_QUEUE_LABEL}) {
        if (const auto colours = OnCtlColor(id)) {
            control<ui::Static>(id)->set_colours(colours->text, colours->background);
        }
    }
}

bool CvelquorinDlg::OnInitDialog() {
    set_icon(icon_);
    InitWorkstation();
    return true;
}

std::optional<CvelquorinDlg::ControlColours> CvelquorinDlg::OnCtlColor(int control_id) const {
    if (control_id == IDC_PRINTING_LABEL || control_id == IDC_JOB_QUEUE_LABEL) {
        return ControlColours{kBlack, kWindowGrey};
    }
    return std::nullopt;
}

void CvelquorinDlg::request_show() {
    post(kShowRequestMessage);
}

platform::ui::ListCtrl* CvelquorinDlg::list(int id) {
    if (id == IDC_JOB_QUEUE_LIST) {
        return job_queue_;
    }
    if (id == IDC_PRINTING_LIST) {
        return printing_;
    }
    return nullptr;
}

void CvelquorinDlg::show_bitmap(int picture_id, int bitmap) {
    auto* picture = control<ui::Picture>(picture_id);
    if (picture == nullptr) {
        return;
    }
    if (bitmap == engine::IDB_PRINTER_CONNECTED) {
        picture->set_bitmap(app::printer_connected_image());
    } else if (bitmap == engine::IDB_PRINTER_NOT_CONNECTED) {
        picture->set_bitmap(app::printer_not_connected_image());
    }
}

void CvelquorinDlg::enable_button(int id, bool enabled) {
    enable_control(id, enabled);
}

void CvelquorinDlg::set_control_text(int id, std::string_view text) {
    if (auto* label = control<ui::Static>(id)) {
        label->set_text(text);
    }
}

void CvelquorinDlg::InitWorkstation() {
    // Steps 1 to 4: the settings root, "hotfpath.ini", the folders and the settings file. A
    // problem has been shown in one box; the window ends before anything else starts.
    if (!app::check_workstation().can_start()) {
        end_dialog(app::kStartupFailedEndCode);
        return;
    }
    // One program per set of folders, whatever runtime folder it was started under: a second
    // one says which folder is in use and ends before it changes anything.
    auto taken = app::WorkstationLock::take({g_settings_root, g_job_folder});
    if (!taken.lock) {
        ui::message_box(app::folder_in_use_text(taken.folder_in_use), {}, ui::Buttons::Ok);
        end_dialog(app::kStartupFailedEndCode);
        return;
    }
    workstation_lock_ = std::move(taken.lock);

    lay_out();

    // The tray icon; where the desktop has no tray yet the program goes on without one until a
    // tray appears.
    tray_icon_.add(*this, WM_TRAY_NOTIFY, icon_, g_tray_tip_text);

    app::create_mt_output_folder();

    const app::StartupFlags flags = app::read_startup_flags();
    if (!flags.rotary_button_enabled) {
        enable_control(IDC_ROTARY_BUTTON, false);
    }

    start_hot_folder_watch();
    // The workers find the window from their first step on.
    engine::register_main_window(this);
    start_workers();
    set_minimize_box(true);
}

void CvelquorinDlg::lay_out() {
    // Fonts scaled from the design width by the width the window was built with.
    const app::MainWindowFonts fonts = app::main_window_fonts(client_size().width);
    g_font_list = fonts.list;
    g_font_caption = fonts.caption;
    set_control_font(IDC_PRINTING_LABEL, g_font_caption);
    set_control_font(IDC_JOB_QUEUE_LABEL, g_font_caption);
    set_control_font(IDC_PRINTED_LIST_BUTTON, g_font_list);
    set_control_font(IDC_JOB_QUEUE_LIST, g_font_list);
    set_control_font(IDC_PRINTING_LIST, g_font_list);
    control<ui::Static>(IDC_PRINTING_LABEL)->set_text(printing_label_text_);
    control<ui::Static>(IDC_JOB_QUEUE_LABEL)->set_text(job_queue_label_text_);

    const ui::ScreenMetrics screen = ui::screen_metrics();
    move(app::main_window_rect(screen));
    const ui::Size client = client_size();

    for (const ImageButtonSpec& spec : kImageButtons) {
        if (spec.grey_face) {
            control<ui::ImageButton>(spec.id)->set_face_colour(kWindowGrey);
        }
    }
    for (const app::PlacedControl& placed :
         app::main_window_placement(client, screen.screen_height)) {
        if (placed.id == IDC_SEPARATOR) {
            separator_->move(placed.rect);
        } else {
            move_control(placed.id, placed.rect);
        }
    }

    setup_job_queue_list(*job_queue_, client.width);
    setup_printing_list(*printing_, client.width);
}
