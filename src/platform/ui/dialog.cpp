#include "platform/ui/dialog.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

#include "platform/clock.h"
#include "platform/ui/draw_context.h"
#include "platform/ui/qt_convert.h"

namespace platform::ui {
namespace {

// The dialogs whose modal runs are open, the innermost last. UI thread only.
std::vector<Dialog*>& open_modal_runs() {
    static std::vector<Dialog*> runs;
    return runs;
}

}  // namespace

// The top-level window of a Dialog: routes Esc, Enter and the caption's close box to the
// dialog's commands. It is a plain window and not a framework dialog, so that hiding it never
// ends a modal run; only end_dialog() does. With an own frame it also paints the frame, gives
// it the pointer over the frame and takes its shape.
class DialogWindow : public QWidget {
  public:
    explicit DialogWindow(Dialog& dialog) : QWidget(nullptr, Qt::Dialog), dialog_(dialog) {
        setAutoFillBackground(true);
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        dialog_.run_command(kIdCancel);
    }
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Escape:
                dialog_.run_command(kIdCancel);
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                dialog_.run_command(kIdOk);
                return;
            default:
                QWidget::keyPressEvent(event);
        }
    }

    void paintEvent(QPaintEvent* event) override {
        OwnFrame* frame = dialog_.own_frame();
        if (frame == nullptr) {
            QWidget::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setClipRegion(QRegion(rect()).subtracted(QRegion(client_rect())));
        painter.setFont(font());
        DrawContext dc(painter);
        frame->paint(dc, Size{width(), height()});
    }

    void mousePressEvent(QMouseEvent* event) override {
        OwnFrame* frame = dialog_.own_frame();
        const QPoint at = event->position().toPoint();
        if (frame == nullptr || event->button() != Qt::LeftButton || in_client(at)) {
            QWidget::mousePressEvent(event);
            return;
        }
        switch (frame->press(Point{at.x(), at.y()}, Size{width(), height()}, isMaximized())) {
            case FramePress::Close:
                dialog_.run_command(kIdCancel);
                break;
            case FramePress::Minimise:
                showMinimized();
                break;
            case FramePress::Drag:
                // The window manager moves the window; where there is none to ask, the window
                // follows the pointer itself.
                if (windowHandle() == nullptr || !windowHandle()->startSystemMove()) {
                    drag_from_ = event->globalPosition().toPoint() - pos();
                }
                break;
            case FramePress::Nothing:
                break;
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (drag_from_ && event->buttons().testFlag(Qt::LeftButton)) {
            move(event->globalPosition().toPoint() - *drag_from_);
            return;
        }
        const QPoint at = event->position().toPoint();
        hover(in_client(at) ? std::nullopt : std::optional<Point>(Point{at.x(), at.y()}));
        QWidget::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        drag_from_.reset();
        QWidget::mouseReleaseEvent(event);
    }

    void leaveEvent(QEvent* event) override {
        hover(std::nullopt);
        QWidget::leaveEvent(event);
    }

    // The pointer that goes from the frame straight onto a control leaves the frame without a
    // move over the window itself: the control's enter says so.
    void childEvent(QChildEvent* event) override {
        if (event->added() && event->child()->isWidgetType()) {
            event->child()->installEventFilter(this);
        }
        QWidget::childEvent(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Enter) {
            hover(std::nullopt);
        }
        return QWidget::eventFilter(watched, event);
    }

    void resizeEvent(QResizeEvent* event) override {
        apply_region();
        QWidget::resizeEvent(event);
    }

  public:
    // The frame's shape for the window's size now; the whole window without a frame.
    void apply_region() {
        OwnFrame* frame = dialog_.own_frame();
        const std::optional<Rect> region =
            frame == nullptr ? std::nullopt : frame->region(Size{width(), height()});
        if (region) {
            setMask(QRegion(to_qt(*region)));
        } else {
            clearMask();
        }
    }

  private:
    QRect client_rect() const {
        const Point origin = dialog_.client_origin();
        const Size size = dialog_.client_size();
        return QRect(origin.x, origin.y, size.width, size.height);
    }
    bool in_client(QPoint at) const { return client_rect().contains(at); }
    void hover(std::optional<Point> at) {
        if (OwnFrame* frame = dialog_.own_frame();
            frame != nullptr && frame->hover(at, Size{width(), height()})) {
            update(QRegion(rect()).subtracted(QRegion(client_rect())));
        }
    }

    Dialog& dialog_;
    // Where the pointer holds the window while it follows the pointer itself.
    std::optional<QPoint> drag_from_;
};

namespace {

Rect moved_by(const Rect& rect, Point by) {
    return Rect{rect.left + by.x, rect.top + by.y, rect.right + by.x, rect.bottom + by.y};
}

}  // namespace

Control::Control(Dialog& owner, int id, QWidget* widget, const Rect& rect)
    : owner_(owner), id_(id), widget_(widget) {
    widget_->setGeometry(to_qt(moved_by(rect, owner_.client_origin())));
    widget_->show();
}

void Control::enable(bool enabled) {
    ui_call([&] { widget_->setEnabled(enabled); });
}

bool Control::is_enabled() const {
    return ui_call([&] { return widget_->isEnabled(); });
}

void Control::show(bool shown) {
    ui_call([&] { widget_->setVisible(shown); });
}

bool Control::is_visible() const {
    return ui_call([&] { return !widget_->isHidden(); });
}

void Control::move(const Rect& rect) {
    ui_call([&] { widget_->setGeometry(to_qt(moved_by(rect, owner_.client_origin()))); });
}

Rect Control::rect() const {
    return ui_call([&] {
        const Point origin = owner_.client_origin();
        return moved_by(from_qt(widget_->geometry()), Point{-origin.x, -origin.y});
    });
}

void Control::set_font(const Font& font) {
    ui_call([&] { widget_->setFont(to_qt(font)); });
}

void Control::set_focus() {
    ui_call([&] { widget_->setFocus(Qt::OtherFocusReason); });
}

bool Control::has_focus() const {
    return ui_call([&] { return widget_->hasFocus(); });
}

Dialog::Dialog(std::string_view caption, Size client_size) {
    ui_call([&] {
        window_ = new DialogWindow(*this);
        window_->setWindowTitle(to_qt(caption));
        window_->resize(client_size.width, client_size.height);
    });
}

Dialog::~Dialog() {
    ui_call([&] {
        // The window first: its children are the controls' widgets, and nothing of the window
        // may reach a control object once the controls are gone.
        delete window_;
        window_ = nullptr;
        timers_.clear();
        by_id_.clear();
        controls_.clear();
    });
}

int Dialog::do_modal() {
    return ui_call([&] {
        ++open_runs_;
        ended_ = false;
        on_init_dialog();
        if (!ended_) {
            QEventLoop loop;
            QEventLoop* outer = std::exchange(loop_, &loop);
            window_->setWindowModality(application_modal_ ? Qt::ApplicationModal : Qt::NonModal);
            window_->show();
            if (!ended_) {
                open_modal_runs().push_back(this);
                loop.exec(QEventLoop::DialogExec);
                std::erase(open_modal_runs(), this);
            }
            loop_ = outer;
        }
        --open_runs_;
        ended_ = false;
        // Also a timer set after the end, in the same opening.
        stop_timers();
        window_->hide();
        return end_code_;
    });
}

Dialog* Dialog::innermost_modal() {
    return ui_call([]() -> Dialog* {
        const std::vector<Dialog*>& runs = open_modal_runs();
        return runs.empty() ? nullptr : runs.back();
    });
}

void Dialog::end_dialog(int code) {
    ui_call([&] {
        // A late end (a worker's, after the operator ended the run) is for a run that is over:
        // remembered, it would end the next run the moment it opened.
        if (open_runs_ == 0) {
            return;
        }
        end_code_ = code;
        ended_ = true;
        // An ended dialog does no more work of its own, also while a box over it stays open.
        stop_timers();
        window_->hide();
        if (loop_ != nullptr) {
            loop_->exit(code);
        }
    });
}

void Dialog::set_application_modal(bool blocks) {
    ui_call([&] { application_modal_ = blocks; });
}

bool Dialog::in_modal_run() const {
    return ui_call([&] { return loop_ != nullptr; });
}

void Dialog::post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    // Queued on the window: a message still queued when the dialog goes is dropped with it.
    QMetaObject::invokeMethod(
        window_, [this, message, wparam, lparam] { dispatch(message, wparam, lparam); },
        Qt::QueuedConnection);
}

std::intptr_t Dialog::send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    return ui_call([&] { return dispatch(message, wparam, lparam); });
}

void Dialog::command(int id) {
    ui_call([&] { run_command(id); });
}

std::intptr_t Dialog::dispatch(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    const auto found = messages_.find(message);
    if (found == messages_.end()) {
        return 0;
    }
    // A copy: the handler may replace its own table entry.
    const MessageHandler handler = found->second;
    return handler(wparam, lparam);
}

void Dialog::run_command(int id) {
    const auto found = commands_.find(id);
    if (found != commands_.end()) {
        const CommandHandler handler = found->second;
        handler();
    } else if (id == kIdOk) {
        on_ok();
    } else if (id == kIdCancel) {
        on_cancel();
    }
}

void Dialog::on_command(int id, CommandHandler handler) {
    ui_call([&] { commands_[id] = std::move(handler); });
}

void Dialog::on_message(std::uint32_t message, MessageHandler handler) {
    ui_call([&] { messages_[message] = std::move(handler); });
}

void Dialog::on_timer(std::uint32_t) {}

void Dialog::set_timer(std::uint32_t id, std::uint32_t ms) {
    ui_call([&] {
        QTimer*& timer = timers_[id];
        if (timer == nullptr) {
            timer = new QTimer(window_);
            QObject::connect(timer, &QTimer::timeout, window_, [this, id] { on_timer(id); });
        }
        const std::int64_t real_ms = platform::real_microseconds(ms) / 1000;
        timer->start(static_cast<int>(std::clamp<std::int64_t>(real_ms, 1, 0x7FFFFFFF)));
    });
}

void Dialog::kill_timer(std::uint32_t id) {
    ui_call([&] {
        const auto found = timers_.find(id);
        if (found != timers_.end()) {
            delete found->second;
            timers_.erase(found);
        }
    });
}

void Dialog::stop_timers() {
    for (const auto& entry : timers_) {
        delete entry.second;
    }
    timers_.clear();
}

void Dialog::adopt(std::unique_ptr<Control> control) {
    by_id_.emplace(control->id(), control.get());
    controls_.push_back(std::move(control));
}

Control* Dialog::item(int id) const {
    return ui_call([&]() -> Control* {
        const auto found = by_id_.find(id);
        return found == by_id_.end() ? nullptr : found->second;
    });
}

void Dialog::enable_control(int id, bool enabled) {
    ui_call([&] {
        if (Control* found = item(id)) {
            found->enable(enabled);
        }
    });
}

void Dialog::show_control(int id, bool shown) {
    ui_call([&] {
        if (Control* found = item(id)) {
            found->show(shown);
        }
    });
}

void Dialog::move_control(int id, const Rect& rect) {
    ui_call([&] {
        if (Control* found = item(id)) {
            found->move(rect);
        }
    });
}

void Dialog::set_control_font(int id, const Font& font) {
    ui_call([&] {
        if (Control* found = item(id)) {
            found->set_font(font);
        }
    });
}

void Dialog::set_caption(std::string_view caption) {
    ui_call([&] { window_->setWindowTitle(to_qt(caption)); });
}

void Dialog::set_icon(const Bitmap& icon) {
    ui_call([&] { window_->setWindowIcon(QIcon(QPixmap::fromImage(icon.image()))); });
}

void Dialog::set_class_name(std::string_view name) {
    ui_call([&] { window_->setObjectName(to_qt(name)); });
}

std::string Dialog::class_name() const {
    return ui_call([&] { return from_qt(window_->objectName()); });
}

std::string Dialog::caption() const {
    return ui_call([&] { return from_qt(window_->windowTitle()); });
}

void Dialog::set_background(Rgb colour) {
    ui_call([&] {
        QPalette palette = window_->palette();
        palette.setColor(QPalette::Window, to_qt(colour));
        window_->setPalette(palette);
    });
}

Rgb Dialog::background() const {
    return ui_call([&] { return from_qt(window_->palette().color(QPalette::Window)); });
}

void Dialog::set_font(const Font& font) {
    ui_call([&] { window_->setFont(to_qt(font)); });
}

void Dialog::move(const Rect& rect) {
    ui_call([&] {
        window_->move(rect.left, rect.top);
        window_->resize(rect.width(), rect.height());
    });
}

void Dialog::centre_over(const Dialog& owner) {
    const Rect over = owner.window_rect();
    const Rect own = window_rect();
    move(Rect::from_size(over.left + (over.width() - own.width()) / 2,
                         over.top + (over.height() - own.height()) / 2, own.width(), own.height()));
}

Rect Dialog::window_rect() const {
    return ui_call([&] { return from_qt(window_->geometry()); });
}

Size Dialog::client_size() const {
    return ui_call([&] {
        const OwnFrame::Margins margins = frame_ ? frame_->margins() : OwnFrame::Margins{};
        return Size{window_->width() - margins.left - margins.right,
                    window_->height() - margins.top - margins.bottom};
    });
}

Point Dialog::client_origin() const {
    if (!frame_) {
        return Point{};
    }
    const OwnFrame::Margins margins = frame_->margins();
    return Point{margins.left, margins.top};
}

void Dialog::set_own_frame(std::unique_ptr<OwnFrame> frame) {
    ui_call([&] {
        const Size client = client_size();
        std::vector<Rect> places;
        for (const auto& control : controls_) {
            places.push_back(control->rect());
        }
        frame_ = std::move(frame);
        const OwnFrame::Margins margins = frame_->margins();
        // Changing a window flag hides a shown window; it comes back as it was.
        const bool visible = window_->isVisible();
        window_->setWindowFlag(Qt::FramelessWindowHint, true);
        window_->setMouseTracking(true);
        window_->resize(client.width + margins.left + margins.right,
                        client.height + margins.top + margins.bottom);
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            controls_[i]->move(places[i]);
        }
        static_cast<DialogWindow*>(window_)->apply_region();
        window_->update();
        if (visible) {
            window_->show();
        }
    });
}

void Dialog::show(bool shown) {
    ui_call([&] { window_->setVisible(shown); });
}

bool Dialog::is_visible() const {
    return ui_call([&] { return window_->isVisible(); });
}

void Dialog::show_normal_in_front() {
    ui_call([&] {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
    });
}

void Dialog::set_minimize_box(bool shown) {
    ui_call([&] {
        // Changing a window flag hides a shown window; it comes back as it was.
        const bool visible = window_->isVisible();
        window_->setWindowFlag(Qt::WindowMinimizeButtonHint, shown);
        if (visible) {
            window_->show();
        }
    });
}

bool Dialog::has_minimize_box() const {
    return ui_call([&] { return window_->windowFlags().testFlag(Qt::WindowMinimizeButtonHint); });
}

Bitmap Dialog::render() const {
    return ui_call([&] { return Bitmap(window_->grab().toImage()); });
}

int run_modal_over(Dialog& dialog, const Dialog* owner, Rgb background) {
    dialog.set_background(background);
    if (owner != nullptr) {
        dialog.centre_over(*owner);
    }
    return dialog.do_modal();
}

}  // namespace platform::ui
