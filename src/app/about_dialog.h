#pragma once

#include "platform/ui/dialog.h"

inline constexpr int IDD_ABOUTBOX = 224;
inline constexpr int IDC_ABOUT_PICTURE = 223;

// The about box: the program's picture, its version and who owns and supports it. Its OK,
// Enter and Esc end it; the caller ignores the result.
class aboutus : public platform::ui::Dialog {
  public:
    aboutus();
};
