#pragma once

// The two job lists of the main window. A job is its .prn path and all its attributes are
// cell texts of these rows, read and written by column index from every thread that works on
// jobs. The row layouts, the state texts and the one way a job enters the printing list are in
// engine/job_list_rows.h; this header sets the lists up.

#include "engine/job_list_rows.h"
#include "platform/ui/list_ctrl.h"

class MyListCtrl;
class cprocess;

// A column's width for the client width W: (W - 30) x fraction in double precision, truncated.
int column_width(double fraction, int client_width);

// The columns, row icons, colours and row height of the two lists, as the main window sets
// them up once after placing itself.
void setup_job_queue_list(MyListCtrl& list, int client_width);
void setup_printing_list(cprocess& list, int client_width);
