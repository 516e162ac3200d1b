#pragma once

// What a run reads of its settings, and writes back of its steps, through whoever drives it:
// the window's controls, or the options of a run from the command line. The run asks at each
// use, so a change made during a run (a keyword typed, a page box edited, the timer switched
// off) takes effect at the next read.

#include <optional>
#include <string>
#include <vector>

#include "capture/capture_settings.h"

namespace tabvoro::run {

class RunControls {
public:
    virtual ~RunControls() = default;

    virtual capture::CaptureSettings settings() const = 0;
    // The URL list of the list mode and its current row (-1: none).
    virtual std::vector<std::string> urlList() const = 0;
    virtual int urlListRow() const = 0;
    // The text shown as the last capture's: the page-number step compares it with the text it
    // saw when it last advanced, to tell whether a new capture has come since. None: nothing
    // shows it but the run, which then takes its last kept capture.
    virtual std::optional<std::string> shownText() const = 0;
    // The browser last reported nothing being downloaded (its progress "0/0").
    virtual bool downloadIdle() const = 0;
    // Where output files go (ends in "/") and the code page they are written in.
    virtual std::string outputFolder() const = 0;
    virtual std::string codePage() const = 0;

    // What a next-page step moved: the page number now shown, the URL-list row passed (it keeps
    // its mark) and the row now current.
    virtual void setStartPage(const std::string &page) = 0;
    virtual void markUrlListRow(int row) = 0;
    virtual void setUrlListRow(int row) = 0;
};

// Controls that are plain values: a run with nobody at a window (the command line, tests).
class FixedRunControls : public RunControls {
public:
    capture::CaptureSettings values;
    std::vector<std::string> rows;
    int row = -1;
    std::vector<int> markedRows;
    bool idle = true;
    std::string folder;
    std::string codePageName;

    capture::CaptureSettings settings() const override { return values; }
    std::vector<std::string> urlList() const override { return rows; }
    int urlListRow() const override { return row; }
    std::optional<std::string> shownText() const override { return std::nullopt; }
    bool downloadIdle() const override { return idle; }
    std::string outputFolder() const override { return folder; }
    std::string codePage() const override { return codePageName; }
    void setStartPage(const std::string &page) override { values.startPage = page; }
    void markUrlListRow(int marked) override { markedRows.push_back(marked); }
    void setUrlListRow(int current) override { row = current; }
};

}  // namespace tabvoro::run
