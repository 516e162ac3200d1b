#pragma once

// The rows an output file already holds, marked as written, for a run that goes on writing each
// row once into a file it wrote before (a job's run resumed after a stop or a kill).

#include <string>

#include "capture/error.h"
#include "capture/row_marks.h"

namespace tabvoro::capture {

// Marks every row of the file at `path` (in `codePage`; a ruled ".txt" when `ruled`) in
// `marks`, as the capture text held it: the fields of a row joined by ",". A character the
// code page lacks is in the file as its reference ("&#x1F600;"): such a row is marked both as
// written and with the character itself. A missing file marks nothing and is no error.
Result<void> markRowsOfFile(const std::string &path, const std::string &codePage, bool ruled, RowMarks &marks);

}  // namespace tabvoro::capture
