#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "config/all_settings.h"

// The two halves of a save of the Setting dialog: writing the choices into "all_setting.ini",
// and applying them to the running program, which happens only once the writing held.

// The texts a save writes, by position: texts[k - 1] is the value of position k. Positions 16
// and 17 (the rotary range and diameter) are the installed file's and are not written into an
// existing file.
using SettingTexts = std::array<std::string, AllSettings::kEntryCount>;

// Writes the sixteen keys of positions 1..15 and 18 by name, in that order, in one write of the
// file. Every reader takes the entries by position, and a key the section lacks is appended at
// its end, so a section made by these writes alone would hold "step_adjust" where
// "rotary_range" belongs. They are therefore made only where the section "overall situation"
// holds the eighteen entries in their installed order, or where the section is longer than
// the readers' buffer (a rewrite could not be built from all of it). Otherwise (no file, an
// empty one, no such section, entries missing or out of place) the eighteen entries are put at
// the head of the section in the installed order, positions 16 and 17 with the values the
// section held under their names or else from `texts`; every other line of the section (other
// entries, remarks, a line without a key such as "=5") stays as it stands after them, and the
// file's other sections stay. True only when the write held and the file is there afterwards.
bool write_setting_file(const SettingTexts& texts, const std::filesystem::path& file);

// What a successful save changes in the running program: automatic printing (a "Print_job_set"
// other than 0, no choice included, keeps jobs in the queue, as at start-up), rotary printing
// with the main window's rotary button, and the first printing-list row's "Expected time",
// reset to "N/A" so that the estimate is made again under the new settings, unless that row is
// printing; the settings generation counts the save. Without a registered main window only the
// two flags and the generation change. UI thread.
void apply_saved_settings(int print_job_set, const std::string& print_media);
