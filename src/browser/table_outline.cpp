#include "browser/table_outline.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "browser/page_snapshot.h"

// Resources of a static library are linked in only when something calls their initialiser,
// which must be named outside any namespace.
static void initTableOutlineResource() { Q_INIT_RESOURCE(table_outline); }

namespace tabvoro::browser {

namespace {

const QString &scriptText()
{
    static const QString text = [] {
        initTableOutlineResource();
        QFile file(QStringLiteral(":/tabvoro/table_outline.js"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("the table outline script is missing from the program's resources");
        return QString::fromUtf8(file.readAll());
    }();
    return text;
}

// The snapshot read that finds a grid or record list: that one table alone, every row's HTML
// looked at (an empty needle), which is what shows the script its rows.
QString readTableScript(std::size_t index, std::optional<std::size_t> frame)
{
    SnapshotRequest request;
    request.frame = frame;
    request.tables = SnapshotRequest::Tables::FirstRows;
    request.onlyTables = std::vector<std::size_t>{index};
    request.rowNeedle = std::string();
    // In parentheses: the script begins with comment lines, after which a bare `return` would end.
    return QStringLiteral("function () { return (") + snapshotScript(request) + QStringLiteral("\n); }");
}

capture::Result<void> runOutline(BrowserEngine &engine, const QJsonObject &request, const QString &readTable)
{
    const QString script = scriptText() + QStringLiteral("(") +
                           QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)) +
                           QStringLiteral(", ") + readTable + QStringLiteral(")");
    const auto answer = engine.evaluate(script);
    if (!answer)
        return std::unexpected(answer.error());
    const QJsonObject result = QJsonDocument::fromJson(answer->toString().toUtf8()).object();
    if (request["show"].toBool() && !result["shown"].toBool())
        return capture::failure(result["why"].toString(QStringLiteral("the page did not answer")).toStdString());
    return {};
}

}  // namespace

capture::Result<void> showTableOutline(BrowserEngine &engine, std::size_t number, std::optional<std::size_t> frame)
{
    if (number == 0)
        return capture::failure("no table 0");
    const std::size_t index = number - 1;
    QJsonObject request;
    request["show"] = true;
    request["table"] = static_cast<qint64>(index);
    request["frame"] = frame ? static_cast<qint64>(*frame) : -1;
    return runOutline(engine, request, readTableScript(index, frame));
}

capture::Result<void> clearTableOutline(BrowserEngine &engine)
{
    QJsonObject request;
    request["show"] = false;
    return runOutline(engine, request, QStringLiteral("null"));
}

}  // namespace tabvoro::browser
