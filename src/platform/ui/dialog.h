#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui/bitmap.h"
#include "platform/ui/geometry.h"
#include "platform/ui/own_frame.h"
#include "platform/ui/ui_thread.h"

class QWidget;
class QTimer;
class QEventLoop;

namespace platform::ui {

// The command ids of the two standard buttons; Enter sends the first, Esc and the caption's
// close box the second. A dialog that handles neither ends its modal run with that id.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

class Dialog;

// A child control of a dialog, found by its id. Every method may be called from any thread.
class Control {
  public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    int id() const { return id_; }
    Dialog& owner() const { return owner_; }

    void enable(bool enabled);
    bool is_enabled() const;
    // Shows or hides the control; a hidden control stays hidden when its dialog is shown.
    void show(bool shown);
    // False once hidden with show(false), whether or not the dialog itself is on screen.
    bool is_visible() const;
    // Position and size in the dialog's client coordinates (below and beside a frame the
    // dialog draws itself).
    void move(const Rect& rect);
    Rect rect() const;
    void set_font(const Font& font);
    void set_focus();
    bool has_focus() const;

    QWidget* widget() const { return widget_; }

  protected:
    // Call on the UI thread; the widget is a child of the owner's window.
    Control(Dialog& owner, int id, QWidget* widget, const Rect& rect);

  private:
    Dialog& owner_;
    int id_;
    QWidget* widget_;
};

// A dialog written in code: its controls are added by id in the constructor or in
// on_init_dialog(), its commands and private messages go to handler tables. Every public
// method may be called from any thread; the dialog's own handlers run on the UI thread.
class Dialog {
  public:
    using CommandHandler = std::function<void()>;
    using MessageHandler =
        std::function<std::intptr_t(std::uintptr_t wparam, std::intptr_t lparam)>;

    Dialog(std::string_view caption, Size client_size);
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    // Shows the dialog application-modal and runs until end_dialog(); returns its code. Runs
    // nest; calls from other threads are served throughout. A dialog that ends itself in
    // on_init_dialog() returns at once without being shown.
    int do_modal();
    // The dialog whose modal run opened last and is still open (the one the operator works
    // in); null when no run is open. For code that must reach a dialog another function opened.
    static Dialog* innermost_modal();
    // Ends the modal run with code: the dialog is hidden and its timers stop. An end while no
    // run of the dialog is open (from on_init_dialog() to the return of do_modal()) does
    // nothing: it belongs to a run that is over, and must not end the next one.
    void end_dialog(int code);
    bool in_modal_run() const;
    // Whether the dialog's modal run blocks the program's other windows (the default). The
    // window that is the program's own run blocks none: its tray icon must keep answering
    // while it is shown.
    void set_application_modal(bool blocks);

    // Queues a private message for the dialog's handler table; returns at once.
    void post(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
    // Runs the message's handler on the UI thread and returns its result (0 without one).
    std::intptr_t send(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
    // Runs the command of a control id as if the control had been clicked.
    void command(int id);

    // A window timer: on_timer(id) every ms of program time (the platform clock's scale
    // applies); setting an id again restarts it with the new period. The end of the dialog's
    // run stops every timer.
    void set_timer(std::uint32_t id, std::uint32_t ms);
    void kill_timer(std::uint32_t id);

    // Creates a control of type T, constructed as T(*this, id, rect, args...), on the UI
    // thread. Several controls may share an id (labels that nothing looks up); item() finds
    // the first.
    template <class T, class... Args>
    T& add(int id, const Rect& rect, Args&&... args) {
        return ui_call([&]() -> T& {
            auto created = std::make_unique<T>(*this, id, rect, std::forward<Args>(args)...);
            T& result = *created;
            adopt(std::move(created));
            return result;
        });
    }
    // The control of an id; nothing when there is none or it is of another type.
    Control* item(int id) const;
    template <class T>
    T* control(int id) const {
        return dynamic_cast<T*>(item(id));
    }
    // Shorthands over item(id); an unknown id does nothing.
    void enable_control(int id, bool enabled);
    void show_control(int id, bool shown);
    void move_control(int id, const Rect& rect);
    void set_control_font(int id, const Font& font);

    void set_caption(std::string_view caption);
    // The window's icon, for the caption and the task bar.
    void set_icon(const Bitmap& icon);
    // The name by which the desktop tells the window's kind (a window class).
    void set_class_name(std::string_view name);
    std::string class_name() const;
    std::string caption() const;
    void set_background(Rgb colour);
    Rgb background() const;
    void set_font(const Font& font);
    // The window's position and client size.
    void move(const Rect& rect);
    // Places the window centred over another dialog's window, as a dialog opens over its
    // owner.
    void centre_over(const Dialog& owner);
    Rect window_rect() const;
    Size client_size() const;
    void show(bool shown);
    bool is_visible() const;
    // Shows the window in its normal size (also when minimised or hidden) and brings it in
    // front of the other windows, without keeping it on top.
    void show_normal_in_front();
    // The caption's minimise box.
    void set_minimize_box(bool shown);
    bool has_minimize_box() const;
    // The window as it looks now, drawn offscreen.
    Bitmap render() const;

    // The dialog draws its own frame from now on: the window loses the desktop's frame and
    // grows by the frame's margins, so that its client size and the controls' places in it
    // stay. Window rectangles (move, window_rect) then include the frame.
    void set_own_frame(std::unique_ptr<OwnFrame> frame);
    OwnFrame* own_frame() const { return frame_.get(); }

    QWidget* window() const { return window_; }

  protected:
    // Called on the UI thread at the start of every modal run, before the window shows.
    virtual void on_init_dialog() {}
    virtual void on_timer(std::uint32_t id);
    // The defaults of the two standard commands when the table has no entry for them.
    virtual void on_ok() { end_dialog(kIdOk); }
    virtual void on_cancel() { end_dialog(kIdCancel); }

    void on_command(int id, CommandHandler handler);
    void on_message(std::uint32_t message, MessageHandler handler);

  private:
    friend class DialogWindow;
    friend class Control;
    // The client area's top-left corner in the window; (0, 0) without an own frame.
    Point client_origin() const;
    void adopt(std::unique_ptr<Control> control);
    std::intptr_t dispatch(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
    void run_command(int id);
    void stop_timers();

    QWidget* window_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    std::unordered_map<int, Control*> by_id_;
    std::unordered_map<int, CommandHandler> commands_;
    std::unordered_map<std::uint32_t, MessageHandler> messages_;
    std::map<std::uint32_t, QTimer*> timers_;
    std::unique_ptr<OwnFrame> frame_;
    QEventLoop* loop_ = nullptr;
    // The runs between the start of do_modal() and its return, on_init_dialog() included; more
    // than one when a handler of the dialog runs it again.
    int open_runs_ = 0;
    bool ended_ = false;
    int end_code_ = 0;
    bool application_modal_ = true;
};

// The grey every dialog opened from another window is given by its caller (the about box
// excepted).
inline constexpr Rgb kDialogGrey = Rgb::from_bgr(0xF2F2F2);

// Runs `dialog` modally as a command of `owner` opens it: in the background colour the caller
// gives it, centred over the owner's window when there is an owner. Returns the end code.
int run_modal_over(Dialog& dialog, const Dialog* owner, Rgb background);

}  // namespace platform::ui
