#include "platform/ui/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "platform/ui/qt_convert.h"

namespace platform::ui {
namespace {

template <class W>
W* as(const Control& control) {
    return static_cast<W*>(control.widget());
}

}  // namespace

Button::Button(Dialog& owner, int id, const Rect& rect, std::string_view text)
    : Control(owner, id, new QPushButton(to_qt(text), owner.window()), rect) {
    QObject::connect(as<QPushButton>(*this), &QPushButton::clicked, widget(),
                     [this] { this->owner().command(this->id()); });
}

void Button::set_text(std::string_view text) {
    ui_call([&] { as<QPushButton>(*this)->setText(to_qt(text)); });
}

std::string Button::text() const {
    return ui_call([&] { return from_qt(as<QPushButton>(*this)->text()); });
}

void Button::click() {
    ui_call([&] { as<QPushButton>(*this)->click(); });
}

ImageButton::ImageButton(Dialog& owner, int id, const Rect& rect, const Bitmap& image)
    : Control(owner, id, new QPushButton(owner.window()), rect) {
    set_image(image);
    QObject::connect(as<QPushButton>(*this), &QPushButton::clicked, widget(),
                     [this] { this->owner().command(this->id()); });
}

void ImageButton::set_image(const Bitmap& image) {
    ui_call([&] {
        auto* button = as<QPushButton>(*this);
        button->setIcon(QIcon(QPixmap::fromImage(image.image())));
        button->setIconSize(QSize(image.width(), image.height()));
    });
}

void ImageButton::set_face_colour(Rgb colour) {
    ui_call([&] {
        QPalette palette = widget()->palette();
        palette.setColor(QPalette::Button, to_qt(colour));
        widget()->setPalette(palette);
    });
}

void ImageButton::click() {
    ui_call([&] { as<QPushButton>(*this)->click(); });
}

Static::Static(Dialog& owner, int id, const Rect& rect, std::string_view text)
    : Control(owner, id, new QLabel(to_qt(text), owner.window()), rect) {
    as<QLabel>(*this)->setTextFormat(Qt::PlainText);
}

void Static::set_text(std::string_view text) {
    ui_call([&] { as<QLabel>(*this)->setText(to_qt(text)); });
}

std::string Static::text() const {
    return ui_call([&] { return from_qt(as<QLabel>(*this)->text()); });
}

void Static::set_colours(Rgb text, Rgb background) {
    ui_call([&] {
        QPalette palette = widget()->palette();
        palette.setColor(QPalette::WindowText, to_qt(text));
        palette.setColor(QPalette::Window, to_qt(background));
        widget()->setPalette(palette);
        widget()->setAutoFillBackground(true);
    });
}

void Static::set_word_wrap(bool wrap) {
    ui_call([&] { as<QLabel>(*this)->setWordWrap(wrap); });
}

GroupBox::GroupBox(Dialog& owner, int id, const Rect& rect, std::string_view title)
    : Control(owner, id, new QGroupBox(to_qt(title), owner.window()), rect) {
    // Made before the controls it frames, it must lie under them, not over them.
    widget()->lower();
}

std::string GroupBox::title() const {
    return ui_call([&] { return from_qt(as<QGroupBox>(*this)->title()); });
}

Picture::Picture(Dialog& owner, int id, const Rect& rect, const Bitmap& image)
    : Control(owner, id, new QLabel(owner.window()), rect) {
    as<QLabel>(*this)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    set_bitmap(image);
}

void Picture::set_bitmap(const Bitmap& image) {
    ui_call([&] {
        image_ = image;
        as<QLabel>(*this)->setPixmap(image.is_null() ? QPixmap()
                                                     : QPixmap::fromImage(image.image()));
    });
}

Bitmap Picture::bitmap() const {
    return ui_call([&] { return image_; });
}

ComboBox::ComboBox(Dialog& owner, int id, const Rect& rect)
    : Control(owner, id, new QComboBox(owner.window()), rect) {
    auto* combo = as<QComboBox>(*this);
    combo->setEditable(false);
    // Only the operator's choice is signalled, not a selection set by the program.
    QObject::connect(combo, &QComboBox::activated, widget(), [this](int) {
        if (selection_changed_) {
            const auto handler = selection_changed_;
            handler();
        }
    });
}

int ComboBox::add_item(std::string_view text) {
    return ui_call([&] {
        auto* combo = as<QComboBox>(*this);
        combo->addItem(to_qt(text));
        // A drop-down list starts with nothing selected, whatever it holds.
        if (combo->count() == 1) {
            combo->setCurrentIndex(-1);
        }
        return combo->count() - 1;
    });
}

void ComboBox::clear() {
    ui_call([&] { as<QComboBox>(*this)->clear(); });
}

int ComboBox::count() const {
    return ui_call([&] { return as<QComboBox>(*this)->count(); });
}

bool ComboBox::set_current(int index) {
    return ui_call([&] {
        auto* combo = as<QComboBox>(*this);
        const bool valid = index >= 0 && index < combo->count();
        combo->setCurrentIndex(valid ? index : -1);
        return valid || index == -1;
    });
}

int ComboBox::current() const {
    return ui_call([&] { return as<QComboBox>(*this)->currentIndex(); });
}

std::string ComboBox::item_text(int index) const {
    return ui_call([&] { return from_qt(as<QComboBox>(*this)->itemText(index)); });
}

void ComboBox::on_selection_change(std::function<void()> handler) {
    ui_call([&] { selection_changed_ = std::move(handler); });
}

Edit::Edit(Dialog& owner, int id, const Rect& rect, std::string_view text)
    : Control(owner, id, new QLineEdit(to_qt(text), owner.window()), rect) {
    QObject::connect(as<QLineEdit>(*this), &QLineEdit::textChanged, widget(), [this] {
        if (changed_) {
            const auto handler = changed_;
            handler();
        }
    });
}

void Edit::set_text(std::string_view text) {
    ui_call([&] { as<QLineEdit>(*this)->setText(to_qt(text)); });
}

std::string Edit::text() const {
    return ui_call([&] { return from_qt(as<QLineEdit>(*this)->text()); });
}

void Edit::set_caret(int position) {
    ui_call([&] {
        auto* edit = as<QLineEdit>(*this);
        edit->setCursorPosition(std::clamp(position, 0, static_cast<int>(edit->text().size())));
    });
}

int Edit::caret() const {
    return ui_call([&] { return as<QLineEdit>(*this)->cursorPosition(); });
}

void Edit::on_change(std::function<void()> handler) {
    ui_call([&] { changed_ = std::move(handler); });
}

ProgressBar::ProgressBar(Dialog& owner, int id, const Rect& rect)
    : Control(owner, id, new QProgressBar(owner.window()), rect) {
    auto* bar = as<QProgressBar>(*this);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
}

void ProgressBar::set_range(int lower, int upper) {
    ui_call([&] {
        auto* bar = as<QProgressBar>(*this);
        const int position = bar->value();
        bar->setRange(lower, std::max(lower, upper));
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    });
}

int ProgressBar::set_pos(int position) {
    return ui_call([&] {
        auto* bar = as<QProgressBar>(*this);
        const int previous = bar->value();
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
        return previous;
    });
}

int ProgressBar::pos() const {
    return ui_call([&] { return as<QProgressBar>(*this)->value(); });
}

int ProgressBar::lower() const {
    return ui_call([&] { return as<QProgressBar>(*this)->minimum(); });
}

int ProgressBar::upper() const {
    return ui_call([&] { return as<QProgressBar>(*this)->maximum(); });
}

CheckBox::CheckBox(Dialog& owner, int id, const Rect& rect, std::string_view text)
    : Control(owner, id, new QCheckBox(to_qt(text), owner.window()), rect) {
    QObject::connect(as<QCheckBox>(*this), &QCheckBox::clicked, widget(),
                     [this] { this->owner().command(this->id()); });
}

void CheckBox::set_checked(bool checked) {
    ui_call([&] { as<QCheckBox>(*this)->setChecked(checked); });
}

bool CheckBox::checked() const {
    return ui_call([&] { return as<QCheckBox>(*this)->isChecked(); });
}

void CheckBox::set_text(std::string_view text) {
    ui_call([&] { as<QCheckBox>(*this)->setText(to_qt(text)); });
}

std::string CheckBox::text() const {
    return ui_call([&] { return from_qt(as<QCheckBox>(*this)->text()); });
}

void CheckBox::click() {
    ui_call([&] { as<QCheckBox>(*this)->click(); });
}

}  // namespace platform::ui
