#include "files/file_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "capture/output/file_lines.h"
#include "capture/output/rewrite_file.h"

namespace tabvoro::files {

QStringList collectedFiles(const QString &folder)
{
    return QDir(folder).entryList({"*.csv", "*.txt"}, QDir::Files, QDir::Name);
}

std::optional<QString> previewFile(const QString &path, const std::string &codePage)
{
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
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return std::nullopt;
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

}  // namespace tabvoro::files
