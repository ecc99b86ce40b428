// The fixed-width text report built from the result list at the end of a job.
#pragma once

#include <functional>
#include <string>

#include "result_list.h"

namespace tarvex {

// Walks the list from the start with its cursors (leaving them where the walk
// stopped) and returns the header line, the rule line and one line per entry,
// each cell padded with blanks to its column width and every line ended with
// CR LF. The walk adds no entry line once cancelled() answers true.
std::string BuildTextReport(ResultList& results, const std::function<bool()>& cancelled);

// The header line and the rule line from the title entry (the list's first
// entry), followed by one line of *line when it is given. The widths are the
// list's, grown where a text of *line needs more, so every line is as wide as
// the header. Empty when the list has no title entry. Reads the list without
// moving its cursors.
std::string BuildHeadAndLine(const ResultList& results, const ResultEntry* line);

}  // namespace tarvex
