#pragma once

#include "platform/ui/list_ctrl.h"

// The job-queue list (control 1006): owner-drawn rows of one height, striped, with a state
// icon before the path.
class MyListCtrl : public platform::ui::ListCtrl {
  public:
    MyListCtrl(platform::ui::Dialog& owner, int id, const platform::ui::Rect& rect,
               platform::ui::ListStyle style = {.owner_draw_fixed = true});

    // Stores the row height for every job-queue list and makes this one measure its rows again.
    void SetRowHeight(int height);
    void DrawItem(platform::ui::DrawContext& dc, const platform::ui::DrawItemInfo& item);

  protected:
    int measure_item(int default_height) override;
    void draw_item(platform::ui::DrawContext& dc, const platform::ui::DrawItemInfo& item) override {
        DrawItem(dc, item);
    }
};
