#pragma once

#include <string_view>

#include "platform/ui/list_ctrl.h"

// The printing list (control 1010): the list draws its rows itself except the progress
// column, which is a bar with the percent in its middle.
class cprocess : public platform::ui::ListCtrl {
  public:
    using ListCtrl::ListCtrl;

  protected:
    platform::ui::CustomDrawReply custom_draw(platform::ui::DrawContext& dc,
                                              const platform::ui::CustomDrawInfo& info) override;
};

// The value of a progress cell: the text without its "%" signs read as a decimal integer,
// 0 when it has no digits.
int progress_value(std::string_view text);
