#include "files/file_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "capture/output/file_lines.h"

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
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return capture::failure("cannot read " + path.toStdString() + ": " + in.errorString().toStdString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return capture::failure("cannot read " + path.toStdString() + ": " + in.errorString().toStdString());
    in.close();

    const auto kept = capture::removeLinesContaining(std::string_view(bytes.constData(), bytes.size()),
                                                     needle.toStdString(), codePage);
    if (!kept)
        return std::unexpected(kept.error());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(kept->bytes.data(), static_cast<qint64>(kept->bytes.size())) != static_cast<qint64>(kept->bytes.size()) ||
        !out.commit())
        return capture::failure("cannot write " + path.toStdString() + ": " + out.errorString().toStdString());
    return kept->removed;
}

}  // namespace tabvoro::files
