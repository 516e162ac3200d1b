// Frmmain: the capture of the page shown and the options around it.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "browser/browser_engine.h"
#include "capture/capture_table.h"
#include "capture/output/code_page.h"
#include "capture/output/output_name.h"
#include "capture/output/save_capture.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::ui {

namespace {

std::string utf8(const QString &text) { return text.toStdString(); }

constexpr const char *kPageNotReadMessage = "未能读取当前网页，本次没有采集：";
constexpr const char *kFailedPageMessage = "网页未能打开，本次没有采集：";

}  // namespace

capture::CaptureSettings Frmmain::readCaptureSettings() const
{
    capture::CaptureSettings s;
    s.url = utf8(Txturl->text());
    s.keyword = utf8(txtGjz->text());
    s.keywordMode = capture::keywordModeFromCaption(utf8(Labgjz->text()));
    s.inFrame = CheckKj->isChecked();
    s.frameText = utf8(txtKj->text());
    s.includeHeader = CheckBt->isChecked();
    s.includeLinks = CheckLj->isChecked();
    s.ruled = CheckBx->isChecked();
    s.timed = CheckDs->isChecked();
    for (int i = 0; i < 4; ++i)
        if (Option1[i]->isChecked())
            s.pagingMode = static_cast<capture::PagingMode>(i);
    s.nextPageText = utf8(txtNp->text());
    s.startPage = utf8(txtYs->text());
    s.endPage = utf8(txtYw->text());
    s.dropDownName = utf8(Txtxd->text());
    for (int p = 0; p < List2->count(); ++p)
        s.fields.push_back({utf8(List2->item(p)->text()), List2->item(p)->isSelected()});
    return s;
}

QString Frmmain::OutputPath() const { return QString::fromStdString(m_session.outputPath); }

void Frmmain::setOutputPath(const QString &path, bool exact)
{
    m_session.outputPath = utf8(path);
    m_exactOutputPath = exact;
}

void Frmmain::setText1(const QString &text)
{
    // The engine's line ends are CR LF; the text box takes a CR as a line of its own.
    m_text1Full = text;
    m_text1Full.replace("\r\n", "\n");
    // The box holds at most 64 K characters, as it always has: the whole of a big capture is in
    // its file, and laying out megabytes of text would cost more than the capture itself.
    m_text1Shown = m_text1Full.left(kText1Capacity);
    Text1->setPlainText(m_text1Shown);
}

QString Frmmain::text1Text() const
{
    const QString shown = Text1->toPlainText();
    return shown == m_text1Shown ? m_text1Full : shown;
}

void Frmmain::webcbnm()
{
    m_exactOutputPath = false;
    m_session.outputPath = capture::webcbnm(utf8(Txturl->text()), CheckBx->isChecked(), utf8(m_outputFolder));
    m_statusText = capture::kOutputPathMessage + OutputPath();
    ShowStatus(3, m_statusText);
}

Frmmain::CaptureOutcome Frmmain::CaptureTable()
{
    // The read of the page waits in a nested event loop; a tick, a page notice or a click that
    // comes in meanwhile must not start a second capture over this one.
    if (m_capturing)
        return {};
    // The engine's error page of a failed load is not the page asked for.
    if (m_browser->showsFailedLoad()) {
        m_statusText = kFailedPageMessage + m_browser->lastFailure().url.toString();
        ShowStatus(3, m_statusText);
        return {};
    }
    m_capturing = true;
    const capture::CaptureSettings settings = readCaptureSettings();
    auto request = browser::SnapshotRequest::forCapture(settings);
    // A run that pages by a link or drop-down reads the page again for its step right after
    // this: one read serves both when the page stays as it is meanwhile.
    const bool forStep = running() && (settings.pagingMode == capture::PagingMode::NextLink ||
                                       settings.pagingMode == capture::PagingMode::DropDown) &&
                         request.include(browser::SnapshotRequest::forNextPage(settings));
    QString stamp;
    auto document = browser::takeSnapshot(browser::stampedEvaluate(m_browser, &stamp), request);
    m_stepRead.reset();
    if (!document) {
        // The page could not be read at all (it was being replaced, the read timed out, its
        // renderer went). Counting that as an empty page would reset the repeat check and let a
        // run move past a page it never captured; the capture is skipped and says why, and the
        // next tick or page load tries again.
        m_capturing = false;
        m_statusText = kPageNotReadMessage + QString::fromStdString(document.error().message);
        ShowStatus(3, m_statusText);
        return {};
    }
    const auto outcome = capture::CaptureTable(**document, settings, m_session);
    m_capturing = false;
    if (forStep) {
        m_stepRead = std::move(*document);
        m_stepReadStamp = stamp;
    }
    if (!outcome.error.empty()) {
        // Refused as too large: nothing is saved, and the status row says why.
        m_statusText = QString::fromStdString(outcome.error);
        ShowStatus(3, m_statusText);
    }
    if (!outcome.kept)
        return {true, false};
    m_statusText = QString::fromStdString(outcome.status);
    ShowStatus(0, m_statusText);

    const capture::SaveTarget target{settings.url, settings.ruled, utf8(m_outputFolder),
                                     codePage(), m_exactOutputPath};
    const auto saved = capture::SaveCapture(outcome.text, target, m_session);
    m_lastSaveFailed = !saved.saved;
    m_lastSaveError = QString::fromStdString(saved.error);
    setText1(QString::fromStdString(saved.shownText));
    if (saved.saved)
        recordProgress();
    refreshFileList();
    m_statusText = QString::fromStdString(saved.status);
    ShowStatus(3, m_statusText);
    emit captureKept(QString::fromStdString(outcome.status));
    return {true, true};
}

void Frmmain::Labgjz_MouseUp()
{
    Labgjz->setText(QString::fromStdString(capture::nextKeywordModeCaption(utf8(Labgjz->text()))));
}

void Frmmain::Labgjz_MouseMove()
{
    QPalette palette = Labgjz->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Labgjz->setPalette(palette);
}

void Frmmain::CheckBt_Click()
{
    if (CheckBt->isChecked())
        CheckLj->setChecked(false);
}

void Frmmain::CheckLj_Click()
{
    if (CheckLj->isChecked())
        CheckBt->setChecked(false);
}

void Frmmain::CheckBx_LostFocus() { webcbnm(); }

}  // namespace tabvoro::ui
