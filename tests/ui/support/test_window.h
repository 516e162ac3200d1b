#pragma once

// The main window as the window tests use it: its program folder a scratch folder, no start
// page, no pages of open browsers read, shown and active.

#include <memory>

#include "test_support.h"
#include "ui/frmmain.h"

namespace tabvoro::test {

// Null when the window could not be shown and activated. `timings`: the waits of its runs.
std::unique_ptr<ui::Frmmain> makeTestWindow(const ScratchDir &dir, const run::RunTimings &timings = {});

}  // namespace tabvoro::test
