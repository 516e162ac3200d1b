#pragma once

// The collected files: the output files in the output folder, and what the file commands do to
// one of them. Nothing here shows a dialog; the window asks and reports.

#include <cstddef>
#include <optional>
#include <string>

#include <QString>
#include <QStringList>

#include "capture/error.h"

namespace tabvoro::files {

// The names (without folder) of the output files in `folder`: "*.csv" and "*.txt", and the
// spreadsheets exported from them, "*.xlsx", in name order.
QStringList collectedFiles(const QString &folder);

// Whether the file is a spreadsheet (".xlsx"): no text to preview or to remove lines from.
bool isSpreadsheet(const QString &path);

inline constexpr const char *kSpreadsheetPreview = "这是Excel文件，不能在这里预览，请用默认程序打开(F4)。";

// The start of a file as the preview shows it: at most capture::kPreviewBytes of it, decoded
// (UTF-8 when valid, else `codePage`); for a spreadsheet, kSpreadsheetPreview, since its bytes
// are no text. Nothing when the file cannot be read.
std::optional<QString> previewFile(const QString &path, const std::string &codePage);

// Moves `from` to `to` (a relative `to` is taken from the process's current folder); never over
// another file. True when the file is under `to` afterwards: moved there, or already there
// because `to` names the file itself.
bool renameFile(const QString &from, const QString &to);

// Moves a file to the desktop's trash, from where the user can take it back; never deletes it
// otherwise, and never moves it anywhere else. Returns its place in the trash, or nothing when
// it could not be moved there (no trash folder of the user's can be made): the file then stays
// where it was.
std::optional<QString> moveToTrash(const QString &path);

// Rewrites a file without the lines that contain `needle`, keeping its encoding
// (capture::removeLinesContaining), as capture::rewriteFile does: through a temporary file in
// the same folder that then takes the old one's place, keeping the file's permissions; a file the
// user may not write is left as it is. Returns the number of lines removed; fails, without
// writing, when the file cannot be read or written.
capture::Result<std::size_t> deleteLinesContaining(const QString &path, const QString &needle,
                                                   const std::string &codePage);

// Writes a ".csv" or ruled ".txt" as the spreadsheet beside it (capture::ExportToXlsx), an older
// one replaced only when the new one is complete. Returns the spreadsheet's path, or why it could
// not be written; a spreadsheet is not exported again.
capture::Result<QString> exportSpreadsheet(const QString &path, const std::string &codePage);

}  // namespace tabvoro::files
