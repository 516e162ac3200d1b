#include "browser/page_snapshot.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "browser/frame_reading.h"
#include "capture/text_rules.h"

// Resources of a static library are linked in only when something calls their initialiser,
// which must be named outside any namespace.
static void initSnapshotScriptResource() { Q_INIT_RESOURCE(page_snapshot); }

namespace tabvoro::browser {

using capture::CellHtmlForm;
using capture::SnapshotDocument;
using capture::SnapshotTable;

namespace {

// The script reads the request's enumerations as these numbers.
static_assert(int(SnapshotRequest::Tables::Count) == 1 && int(SnapshotRequest::Tables::FirstRows) == 2 &&
              int(SnapshotRequest::Tables::Cells) == 3);
static_assert(int(CellHtmlForm::None) == 0 && int(CellHtmlForm::Whole) == 1 && int(CellHtmlForm::ThroughFirstHref) == 2);
static_assert(int(SnapshotRequest::Frames::Names) == 1 && int(SnapshotRequest::Frames::Contents) == 2);

}  // namespace

const QString &snapshotFunction()
{
    static const QString text = [] {
        initSnapshotScriptResource();
        QFile file(QStringLiteral(":/tabvoro/page_snapshot.js"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("the page snapshot script is missing from the program's resources");
        return QString::fromUtf8(file.readAll());
    }();
    return text;
}

namespace {

QJsonValue optionalText(const std::optional<std::string> &text)
{
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

QJsonObject requestObject(const SnapshotRequest &request, const QString &frameAnswers)
{
    QJsonObject o;
    if (!frameAnswers.isEmpty())
        o["answers"] = frameAnswers;
    o["frame"] = request.frame ? static_cast<qint64>(*request.frame) : -1;
    o["body"] = request.bodyText;
    o["tables"] = static_cast<int>(request.tables);
    if (request.onlyTables) {
        QJsonArray only;
        for (std::size_t index : *request.onlyTables)
            only.append(static_cast<qint64>(index));
        o["only"] = only;
    }
    o["cellHtml"] = static_cast<int>(request.cellHtml);
    o["rowHtml"] = request.rowHtml;
    o["rowNeedle"] = optionalText(request.rowNeedle);
    o["mark"] = request.markTables;
    if (const auto &more = request.continuation)
        o["more"] = QJsonObject{{"i", static_cast<qint64>(more->table)},
                                {"k", static_cast<qint64>(more->rows)},
                                {"g", QString::fromStdString(more->readMark)}};
    o["elements"] = request.elements;
    o["elementHtml"] = request.elementHtml;
    o["elementNeedle"] = optionalText(request.elementNeedle);
    o["stepOnly"] = request.stepElementsOnly && request.elementNeedle && !request.elementHtml;
    // Only a keyword that is a number names a position, which the list's whole length bounds.
    o["stepCount"] = request.elementNeedle && capture::isNumericText(*request.elementNeedle);
    if (!request.elementHtmlTags.empty()) {
        QJsonArray tags;
        for (const std::string &tag : request.elementHtmlTags)
            tags.append(QString::fromStdString(tag));
        o["elementTags"] = tags;
    }
    o["links"] = request.links;
    o["frames"] = static_cast<int>(request.frames);
    return o;
}

// ---- Reading the answer

// UTF-8 of a text from the page, its line breaks written as CR LF.
void appendText(std::string &out, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    out.reserve(out.size() + static_cast<std::size_t>(utf8.size()));
    char previous = 0;
    for (char c : utf8) {
        if (c == '\n' && previous != '\r')
            out.push_back('\r');
        out.push_back(c);
        previous = c;
    }
}

std::string text(const QJsonValue &value)
{
    std::string out;
    appendText(out, value.toString());
    return out;
}

std::string utf8(const QJsonValue &value) { return value.toString().toStdString(); }

std::size_t count(const QJsonValue &value) { return static_cast<std::size_t>(std::max<qint64>(0, value.toInteger())); }

void readTable(const QJsonObject &o, SnapshotDocument &document, const SnapshotRequest &request)
{
    SnapshotTable &table = document.takeTable(count(o["i"]));
    const QJsonArray rows = o["r"].toArray();
    const QJsonArray spans = o["s"].toArray();
    const QJsonArray html = o["h"].toArray();
    const bool withHtml = o.contains("h");
    if (withHtml)
        table.setCellHtmlForm(o["hf"].toInt() == 2 ? CellHtmlForm::ThroughFirstHref : CellHtmlForm::Whole);
    table.setRowCount(count(o["n"]));
    table.setRowsBefore(count(o["c"]));
    table.setRecordList(o["k"].toInt() == 1);
    const auto firstRowCells = rows.isEmpty() ? 0 : static_cast<std::size_t>(rows[0].toArray().size());
    table.reserve(static_cast<std::size_t>(rows.size()), static_cast<std::size_t>(rows.size()) * firstRowCells, 0);

    qsizetype span = 0;  // spans come sorted by row and cell
    std::string buffer;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        table.addRow();
        const QJsonArray cells = rows[r].toArray();
        const QJsonArray cellHtml = withHtml ? html[r].toArray() : QJsonArray();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            int colSpan = 1;
            int rowSpan = 1;
            if (span + 3 < spans.size() && spans[span].toInteger() == r && spans[span + 1].toInteger() == c) {
                // The document model reads a span of 0 (rowspan="0": to the end of the row
                // group) as 1, as the static document does.
                colSpan = std::max(1, spans[span + 2].toInt());
                rowSpan = std::max(1, spans[span + 3].toInt());
                span += 4;
            }
            buffer.clear();
            appendText(buffer, cells[c].toString());
            table.addCell(buffer, colSpan, rowSpan);
            if (withHtml)
                table.addCellHtml(cellHtml[c].toString().toStdString());
        }
    }
    if (o.contains("rh"))
        for (const QJsonValue &row : o["rh"].toArray())
            table.addRowHtml(row.toString().toStdString());
    if (o.contains("rn")) {
        table.setRowNeedle(request.rowNeedle.value_or(std::string()));
        for (QChar answer : o["rn"].toString())
            table.addRowNeedleAnswer(answer == u'1');
    }
    if (o.contains("z")) {
        const QJsonArray size = o["z"].toArray();
        table.setTextMeasure(count(size[0]), count(size[1]));
    }
}

void readElements(const QJsonObject &o, SnapshotDocument &document, const SnapshotRequest &request)
{
    const QJsonArray list = o["e"].toArray();
    document.takeElements(static_cast<std::size_t>(list.size()));
    // A list taken in part gives each element's index and the list's length.
    const bool inPart = o.contains("ei");
    const QJsonArray indexes = o["ei"].toArray();
    if (inPart)
        document.setElementCount(count(o["ec"]));
    for (qsizetype k = 0; k < list.size(); ++k) {
        const QJsonArray entry = list[k].toArray();
        if (inPart)
            document.addElementAt(count(indexes[k]), utf8(entry[0]), utf8(entry[1]), text(entry[2]), utf8(entry[3]));
        else
            document.addElement(utf8(entry[0]), utf8(entry[1]), text(entry[2]), utf8(entry[3]));
    }
    const QJsonArray html = o["eh"].toArray();
    for (qsizetype k = 0; k + 1 < html.size(); k += 2)
        document.setElementHtml(count(html[k]), utf8(html[k + 1]));
    if (o.contains("en")) {
        document.setElementNeedle(request.elementNeedle.value_or(std::string()));
        const QString answers = o["en"].toString();
        for (qsizetype i = 0; i < answers.size(); ++i)
            if (answers[i] != u' ')
                document.setElementContains(static_cast<std::size_t>(i), answers[i] == u'1');
    }
}

void readDocument(const QJsonObject &o, SnapshotDocument &document, const SnapshotRequest &request);

void readFrames(const QJsonArray &frames, SnapshotDocument &document, const SnapshotRequest &request)
{
    document.takeFrames();
    for (const QJsonValue &value : frames) {
        const QJsonObject frame = value.toObject();
        if (frame.contains("x")) {
            document.addFailingFrame(utf8(frame["n"]), utf8(frame["x"]));
            continue;
        }
        SnapshotDocument &inner = document.addFrame(utf8(frame["n"]));
        if (frame.contains("d"))
            readDocument(frame["d"].toObject(), inner, request);
    }
}

void readDocument(const QJsonObject &o, SnapshotDocument &document, const SnapshotRequest &request)
{
    document.setBaseUrl(utf8(o["u"]));
    if (o.contains("b"))
        document.setBodyText(text(o["b"]));
    if (o.contains("tc"))
        document.setTableCount(count(o["tc"]));
    if (o.contains("hc"))
        document.setHtmlTableCount(count(o["hc"]));
    if (o.contains("g"))
        document.setReadMark(utf8(o["g"]));
    for (const QJsonValue &table : o["t"].toArray())
        readTable(table.toObject(), document, request);
    if (o.contains("e"))
        readElements(o, document, request);
    if (o.contains("l")) {
        std::vector<std::string> links;
        for (const QJsonValue &link : o["l"].toArray())
            links.push_back(utf8(link));
        document.setLinks(std::move(links));
    }
    if (o.contains("f"))
        readFrames(o["f"].toArray(), document, request);
}

// A number typed into a box as an index; past any real page's count when it is huge.
std::size_t indexFrom(double number)
{
    constexpr double kBeyondAnyPage = 4294967295.0;
    return static_cast<std::size_t>(std::min(number, kBeyondAnyPage));
}

// The document the capture settings point at, as targetDocument() picks it. False when they
// point at no frame at all, so that nothing need be read.
bool aimAtTarget(const capture::CaptureSettings &settings, SnapshotRequest &request)
{
    if (!settings.inFrame)
        return true;
    const double number = capture::leadingNumber(settings.frameText);
    if (number < 0)
        return false;
    request.frame = indexFrom(number);
    return true;
}

}  // namespace

SnapshotRequest SnapshotRequest::everything()
{
    SnapshotRequest r;
    r.bodyText = true;
    r.tables = Tables::Cells;
    r.cellHtml = CellHtmlForm::Whole;
    r.rowHtml = true;
    r.elements = true;
    r.elementHtml = true;
    r.elementHtmlTags.clear();
    r.links = true;
    r.frames = Frames::Contents;
    return r;
}

SnapshotRequest SnapshotRequest::forCapture(const capture::CaptureSettings &settings)
{
    SnapshotRequest r;
    if (!aimAtTarget(settings, r))
        return r;
    r.tables = Tables::Cells;
    if (!settings.keywordMode) {
        r.onlyTables.emplace();
    } else if (*settings.keywordMode == capture::KeywordMode::Position) {
        // Only the one table the keyword's number points at can match.
        const double position = capture::leadingNumber(settings.keyword) - 1;
        r.onlyTables.emplace();
        if (position >= 0 && position == std::floor(position))
            r.onlyTables->push_back(indexFrom(position));
    }
    if (settings.includeLinks)
        r.cellHtml = CellHtmlForm::ThroughFirstHref;
    r.rowNeedle = capture::pagerRowText(settings);
    r.markTables = !settings.inFrame;
    return r;
}

SnapshotRequest SnapshotRequest::forTableListing(const capture::CaptureSettings &settings)
{
    SnapshotRequest r;
    if (!aimAtTarget(settings, r))
        return r;
    r.tables = Tables::FirstRows;
    return r;
}

SnapshotRequest SnapshotRequest::forFrameSurvey()
{
    SnapshotRequest r;
    r.bodyText = true;
    r.tables = Tables::Count;
    r.frames = Frames::Contents;
    return r;
}

SnapshotRequest SnapshotRequest::forNextPage(const std::string &needle)
{
    SnapshotRequest r;
    r.elements = true;
    r.elementNeedle = needle;
    r.stepElementsOnly = true;
    return r;
}

SnapshotRequest SnapshotRequest::forNextPage(const capture::CaptureSettings &settings)
{
    SnapshotRequest r = forNextPage(settings.nextPageText);
    if (settings.pagingMode == capture::PagingMode::NextLink && settings.inFrame && capture::isSet(settings.frameText) &&
        capture::leadingNumber(settings.frameText) >= 0)
        r.frame = indexFrom(capture::leadingNumber(settings.frameText));
    return r;
}

bool SnapshotRequest::include(const SnapshotRequest &other)
{
    // What a read of tables asks is not merged: which tables, which cell forms and which row
    // needle are one request's own.
    const bool onlyElements = other.tables == Tables::None && !other.rowHtml && !other.rowNeedle &&
                              other.cellHtml == capture::CellHtmlForm::None && other.frames == Frames::None &&
                              !other.bodyText;
    const bool sameElementParts = !elements || (elementHtml == other.elementHtml &&
                                                elementNeedle == other.elementNeedle &&
                                                elementHtmlTags == other.elementHtmlTags &&
                                                stepElementsOnly == other.stepElementsOnly);
    if (frame != other.frame || !onlyElements || !sameElementParts)
        return false;
    if (other.elements) {
        elements = true;
        elementHtml = other.elementHtml;
        elementNeedle = other.elementNeedle;
        elementHtmlTags = other.elementHtmlTags;
        stepElementsOnly = other.stepElementsOnly;
    }
    links = links || other.links;
    return true;
}

QString snapshotRequestJson(const SnapshotRequest &request, const QString &frameAnswers)
{
    return QString::fromUtf8(QJsonDocument(requestObject(request, frameAnswers)).toJson(QJsonDocument::Compact));
}

QString snapshotScript(const SnapshotRequest &request, const QString &frameAnswers)
{
    return snapshotFunction() + QStringLiteral("(") + snapshotRequestJson(request, frameAnswers) + QStringLiteral(")");
}

capture::Result<std::unique_ptr<SnapshotDocument>> parseSnapshot(const QString &json, const SnapshotRequest &request)
{
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !parsed.isObject())
        return capture::failure("the page's answer is not a snapshot: " + error.errorString().toStdString());
    const QJsonObject root = parsed.object();
    if (root.contains("x"))
        return capture::failure("the page could not be read: " + utf8(root["x"]));
    auto document = std::make_unique<SnapshotDocument>();
    readDocument(root, *document, request);
    return document;
}

capture::Result<std::unique_ptr<SnapshotDocument>> takeSnapshot(EvaluateFn evaluate, const SnapshotRequest &request)
{
    const QString frameAnswers = gatherFrameAnswers(evaluate, request);
    const auto result = evaluate(snapshotScript(request, frameAnswers));
    if (!result)
        return std::unexpected(result.error());
    if (result->typeId() != QMetaType::QString)
        return capture::failure("the page gave no snapshot (the page changed while it was read, or its "
                                "document is not a web page)");
    return parseSnapshot(result->toString(), request);
}

}  // namespace tabvoro::browser
