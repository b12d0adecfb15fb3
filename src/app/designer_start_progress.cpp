#include "app/designer_start_progress.h"

int g_designer_progress = 0;
