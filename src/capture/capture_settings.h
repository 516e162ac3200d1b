#pragma once

// What the option controls of the main window hold at the moment a capture reads them.
// The window fills one of these from its controls for every capture; nothing is remembered
// between captures, so a change made during a run takes effect at the next read.

#include <optional>
#include <string>
#include <vector>

namespace tabvoro::capture {

// How the table keyword picks tables, in the order the keyword label cycles through them.
enum class KeywordMode {
    FirstRowPrefix,  // "表格第一行前部分内容：" the table's text begins with the keyword
    CommonText,      // "表格每行共有部分内容：" the keyword occurs in the table's text
    Position,        // "所有表格中所处的序号：" the keyword's number is the table's position from 1
};

// The mode after a click on the window's keyword label: the next one, and the first after the
// last.
KeywordMode nextKeywordMode(KeywordMode mode);

// One row of the field list: the column's name and whether it is captured.
struct Field {
    std::string name;
    bool selected = true;
};

enum class PagingMode { NextLink = 0, PageNumber = 1, UrlList = 2, DropDown = 3, Scroll = 4 };

struct CaptureSettings {
    std::string url;                     // Txturl: page address, may hold the "(*)" placeholder
    std::string keyword;                 // txtGjz: table keyword, used exactly as typed
    std::optional<KeywordMode> keywordMode = KeywordMode::FirstRowPrefix;  // Labgjz; none matches no table
    bool inFrame = false;                // CheckKj: look for the table in one frame
    std::string frameText;               // txtKj: that frame's number, from 0
    bool includeHeader = false;          // CheckBt: capture the table's first row too
    bool includeLinks = false;           // CheckLj: a cell with a link gives its address
    bool ruled = false;                  // CheckBx: ruled ".txt" output instead of ".csv"
    bool uniqueRows = false;             // CheckQc: a row equal to one written before in the run is left out
    bool timed = false;                  // CheckDs: a run captures on the timer, not after each load
    PagingMode pagingMode = PagingMode::NextLink;  // Option1(0..4)
    std::string nextPageText;            // txtNp: next-page keyword, also marks pager rows
    std::string startPage;               // txtYs
    std::string endPage;                 // txtYw
    std::string dropDownName;            // Txtxd
    std::vector<Field> fields;           // List2: row p stands for table position p; empty = all
};

// The text that marks a pager row to be left out of a capture.
std::string pagerRowText(const CaptureSettings &settings);

}  // namespace tabvoro::capture
