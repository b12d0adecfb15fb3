#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/bitmap.h"
#include "platform/ui/dialog.h"
#include "platform/ui/geometry.h"

// The simple controls of the dialog kit. Each is created with Dialog::add<T>(id, rect, ...);
// every method may be called from any thread.
namespace platform::ui {

// A push button; a click runs the owner's command of its id.
class Button : public Control {
  public:
    Button(Dialog& owner, int id, const Rect& rect, std::string_view text);
    void set_text(std::string_view text);
    std::string text() const;
    // Clicks the button as the operator would (nothing when it is disabled).
    void click();
};

// A button that shows a bitmap and no text, on a face of its own colour.
class ImageButton : public Control {
  public:
    ImageButton(Dialog& owner, int id, const Rect& rect, const Bitmap& image);
    void set_image(const Bitmap& image);
    void set_face_colour(Rgb colour);
    void click();
};

// A text label. The colours stand in for the owner's control-colour handling of a label.
class Static : public Control {
  public:
    Static(Dialog& owner, int id, const Rect& rect, std::string_view text);
    void set_text(std::string_view text);
    std::string text() const;
    void set_colours(Rgb text, Rgb background);
    // A long text breaks between words onto the next lines of the label.
    void set_word_wrap(bool wrap);
};

// A framed area with a title on its top edge; the controls inside it are the dialog's own.
class GroupBox : public Control {
  public:
    GroupBox(Dialog& owner, int id, const Rect& rect, std::string_view title);
    std::string title() const;
};

// A picture control showing a bitmap at its own size.
class Picture : public Control {
  public:
    Picture(Dialog& owner, int id, const Rect& rect, const Bitmap& image = {});
    void set_bitmap(const Bitmap& image);
    Bitmap bitmap() const;

  private:
    Bitmap image_;
};

// A drop-down list: the operator picks one of the items and cannot type. A change of the
// selection by the operator runs the selection-change handler; one made through
// set_current() does not, as a program's own choice needs no notice.
class ComboBox : public Control {
  public:
    ComboBox(Dialog& owner, int id, const Rect& rect);
    // Returns the new item's index.
    int add_item(std::string_view text);
    void clear();
    int count() const;
    // -1 clears the selection; an index outside the list does the same and returns false.
    bool set_current(int index);
    // -1 when nothing is selected.
    int current() const;
    std::string item_text(int index) const;
    void on_selection_change(std::function<void()> handler);

  private:
    std::function<void()> selection_changed_;
};

// A single-line edit. Every change of its text, typed or set, runs the change handler; a
// handler may set the text again, which runs it again at once.
class Edit : public Control {
  public:
    Edit(Dialog& owner, int id, const Rect& rect, std::string_view text = {});
    void set_text(std::string_view text);
    std::string text() const;
    // The caret stands before the character of this index (counted in characters, not
    // bytes); a position past the end puts it at the end. The caret is scrolled into view.
    void set_caret(int position);
    int caret() const;
    void on_change(std::function<void()> handler);

  private:
    std::function<void()> changed_;
};

// A progress bar with a range and a position; no text.
class ProgressBar : public Control {
  public:
    ProgressBar(Dialog& owner, int id, const Rect& rect);
    void set_range(int lower, int upper);
    // Returns the previous position. A position outside the range is held at its ends.
    int set_pos(int position);
    int pos() const;
    int lower() const;
    int upper() const;
};

// A check box; a click toggles it and then runs the owner's command of its id.
class CheckBox : public Control {
  public:
    CheckBox(Dialog& owner, int id, const Rect& rect, std::string_view text);
    void set_checked(bool checked);
    bool checked() const;
    void set_text(std::string_view text);
    std::string text() const;
    void click();
};

}  // namespace platform::ui
