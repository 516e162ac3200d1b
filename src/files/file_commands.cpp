#include "files/file_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "capture/output/file_lines.h"
#include "capture/output/rewrite_file.h"
#include "capture/output/xlsx_export.h"

namespace tabvoro::files {

QStringList collectedFiles(const QString &folder)
{
    return QDir(folder).entryList({"*.csv", "*.txt", "*.xlsx"}, QDir::Files, QDir::Name);
}

bool isSpreadsheet(const QString &path) { return path.endsWith(".xlsx", Qt::CaseInsensitive); }

std::optional<QString> previewFile(const QString &path, const std::string &codePage)
{
    if (isSpreadsheet(path))
        return QFileInfo(path).isFile() ? std::optional<QString>(kSpreadsheetPreview) : std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(static_cast<qint64>(capture::kPreviewBytes));
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    const auto text = capture::previewText(std::string_view(bytes.constData(), bytes.size()), !file.atEnd(), codePage);
    if (!text)
        return std::nullopt;
    return QString::fromStdString(*text);
}

bool renameFile(const QString &from, const QString &to)
{
    const QString target = QDir::current().absoluteFilePath(to);
    if (QFileInfo(from) == QFileInfo(target))
        return QFileInfo::exists(target);
    // QFile::rename refuses an existing target, where a plain rename(2) would replace it.
    return QFile::rename(from, target) && QFileInfo::exists(target);
}

std::optional<QString> moveToTrash(const QString &path)
{
    // Where it can make no trash folder, Qt 6.4 makes "files" and "info" in the process's
    // current folder, moves the file there and reports success. The user's own trash is made
    // first, so that Qt always has one; without it nothing is moved.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || QDir::isRelativePath(data) || !QDir().mkpath(data + "/Trash/files") ||
        !QDir().mkpath(data + "/Trash/info"))
        return std::nullopt;
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return std::nullopt;
    if (QDir::isRelativePath(inTrash)) {
        // Moved anywhere but to a trash all the same: back to where it was.
        if (QFile::rename(inTrash, path))
            QFile::remove(QFileInfo(inTrash).dir().filePath("../info/" + QFileInfo(inTrash).fileName() + ".trashinfo"));
        return std::nullopt;
    }
    return inTrash;
}

capture::Result<std::size_t> deleteLinesContaining(const QString &path, const QString &needle, const std::string &codePage)
{
    std::size_t removed = 0;
    const auto rewritten = capture::rewriteFile(
        QFile::encodeName(path).toStdString(), [&](std::string_view bytes) -> capture::Result<std::string> {
            auto kept = capture::removeLinesContaining(bytes, needle.toStdString(), codePage);
            if (!kept)
                return std::unexpected(kept.error());
            removed = kept->removed;
            return std::move(kept->bytes);
        });
    if (!rewritten)
        return std::unexpected(rewritten.error());
    return removed;
}

capture::Result<QString> exportSpreadsheet(const QString &path, const std::string &codePage)
{
    if (isSpreadsheet(path))
        return capture::failure("it is a spreadsheet already");
    const auto done = capture::ExportToXlsx(QFile::encodeName(path).toStdString(), {}, codePage);
    if (!done)
        return std::unexpected(done.error());
    return QFile::decodeName(QByteArray::fromStdString(done->path));
}

}  // namespace tabvoro::files
