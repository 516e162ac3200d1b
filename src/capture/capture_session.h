#pragma once

// The state of captures that outlives one capture: the window holds one of these for as long
// as it is open, and nothing here is reset between runs, so the repeat check also compares the
// first page of a new run with the last page of the previous one.

#include <cstdint>
#include <optional>
#include <string>

#include "capture/row_marks.h"
#include "capture/table_growth.h"

namespace tabvoro::capture {

struct CaptureSession {
    std::string lastCapture;      // LastCapture: text of the last capture kept
    std::int64_t captureCount = 0;  // CaptureCount: captures kept, one per page
    std::int64_t recordTotal = 0;   // RecordTotal: rows of all kept captures
    std::int64_t recordCount = 0;   // RecordCount: rows walked by the latest capture, 0 when dropped
    std::string statusText;       // StatusText: the message last placed in a status label
    std::string outputPath;       // OutputPath: the current output file, empty until named
    // The document the last kept capture was read from (Document::identity), empty when unknown:
    // a capture of the same document whose table has grown keeps only the rows after it.
    std::string lastDocument;
    // The rows written by this run, when each row is to be written once.
    RowMarks writtenRows;
    // Where the next read of the last kept capture's document may go on from; none when the
    // capture walked more or less than one table.
    std::optional<GrowthPoint> growth;
};

}  // namespace tabvoro::capture
