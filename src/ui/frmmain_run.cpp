// Frmmain: capture runs over many pages — the start/stop button, the timer tick, the page-load
// notice, the next-page step and the end of a run.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "browser/page_change_watch.h"
#include "browser/page_snapshot.h"
#include "browser/browser_engine.h"
#include "capture/output/compact_output.h"
#include "capture/text_rules.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

namespace {

constexpr const char *kNoPlaceholderAtStart =
    "    你没有将网址列表中的页码数字修改为“(*)”,本程序无法继续打开下一页，请先修改!     ";
constexpr const char *kEmptyUrlList = "   网址列表为空，请先添加网址列表!     ";
// The pause between two captures of the page-number retry: the page it waits for needs time to
// arrive, and a loop without a pause would only spin.
constexpr int kRetryPauseMs = 50;

// `guard` keeps the action to the document the step was worked out on.
QString elementScript(const QString &guard, std::size_t index, std::optional<std::size_t> frame, const QString &action)
{
    return QStringLiteral("(function(){%1var d=document;%2var e=d.getElementsByTagName('*')[%3];"
                          "if(!e)return false;%4return true;})()")
        .arg(guard)
        .arg(frame ? QStringLiteral("d=window.frames[%1].document;").arg(*frame) : QString())
        .arg(index)
        .arg(action);
}


}  // namespace

QString jsString(const std::string &text)
{
    QString quoted = QString::fromStdString(text);
    quoted.replace('\\', "\\\\").replace('\'', "\\'").replace('\n', "\\n").replace('\r', "\\r");
    return "'" + quoted + "'";
}

bool Frmmain::pagingHolds(capture::PagingCheck check) const
{
    return capture::pagingConditionHolds(check, readCaptureSettings(), static_cast<std::size_t>(List3->count()),
                                         Command1->text().toStdString());
}

void Frmmain::yieldOnce() { QCoreApplication::processEvents(); }

void Frmmain::Command1_Click()
{
    if (Command1->text() != capture::kIdleCaption) {
        EndRun();
        return;
    }
    // A start while a capture or a step still waits for the page would run over it.
    if (busy() || Txturl->text().isEmpty())
        return;
    CaptureTable();
    const auto settings = readCaptureSettings();
    if (settings.pagingMode == capture::PagingMode::PageNumber && capture::isSet(settings.startPage) &&
        capture::isSet(settings.endPage) && settings.url.find("(*)") == std::string::npos) {
        QMessageBox::information(this, "提示", kNoPlaceholderAtStart);
        Combo1->setFocus();
    }
    if (settings.pagingMode == capture::PagingMode::UrlList && List3->count() == 0) {
        QMessageBox::information(this, "提示", kEmptyUrlList);
        return;
    }
    // A capture of one page is a run whose pages have run out.
    if (!pagingHolds(capture::PagingCheck::Full)) {
        recordRunEnd(true);
        return;
    }
    armRun();
    if (m_captureOnLoad)
        OpenNextPage();
}

void Frmmain::armRun()
{
    m_loadRetry.onSuccess();
    m_runEndMessage.clear();
    m_runEndedOnFailedPage = false;
    m_inPlaceRepeats = 0;
    Command1->setText(capture::kRunningCaption);
    if (CheckDs->isChecked()) {
        Timer1->start();
        m_captureOnLoad = false;
    } else {
        m_captureOnLoad = true;
    }
}

void Frmmain::Timer1_Timer()
{
    // A page that failed to load waits for its retry: nothing of it is captured, and the run
    // does not page past it.
    if (busy() || m_retryTimer->isActive() || m_browser->showsFailedLoad())
        return;
    // The tick pages only from a page it has read, never past one it could not capture.
    const bool read = CaptureTable().pageRead;
    if (read && CheckKj->isChecked()) {
        // While the browser still reports a download the tick captures but does not page.
        if (Timer1Tag == "0/0" && pagingHolds(capture::PagingCheck::FrameTick)) {
            yieldOnce();
            OpenNextPage();
        }
    } else if (read && pagingHolds(capture::PagingCheck::Full)) {
        yieldOnce();
        OpenNextPage();
    }
    if (CheckDs->isChecked())
        return;
    // The timed mode was switched off during the run: page loads drive it from here on.
    if (pagingHolds(capture::PagingCheck::Running)) {
        m_captureOnLoad = true;
    } else {
        m_captureOnLoad = false;
        Command1->setText(capture::kIdleCaption);
    }
    Timer1->stop();
}

void Frmmain::WebBrowser1_DocumentComplete(const QUrl &url, bool ok)
{
    m_pageTimer->stop();
    if (!ok) {
        pageLoadFailed(url.toString(), m_browser->lastFailure().reason);
        return;
    }
    m_loadRetry.onSuccess();
    if (m_browser->LocationURL() == "about:blank")
        return;
    if (CheckDs->isChecked() || !m_captureOnLoad || busy())
        return;
    captureAfterLoad(false);
}

void Frmmain::OpenNextPage()
{
    if (m_stepping)
        return;
    m_stepping = true;
    // A load whose failure was reported while the page was being read (the capture's or the
    // step's read waits for its answer) is the retry's to take on: a step from its error page
    // would page past it, or end the run there.
    const auto waitsForRetry = [this] { return m_browser->showsFailedLoad() || m_retryTimer->isActive(); };
    while (!waitsForRetry()) {
        const auto settings = readCaptureSettings();
        capture::NextPageInput input;
        input.text1 = text1Text().toStdString();
        input.pageTurnText = m_pageTurnText.toStdString();
        for (int i = 0; i < List3->count(); ++i)
            input.urlList.push_back(List3->item(i)->text().toStdString());
        input.currentRow = List3->currentRow();
        input.captureOnLoad = m_captureOnLoad;

        // Only the link and drop-down modes look into the page.
        capture::Result<std::unique_ptr<capture::SnapshotDocument>> page = capture::failure("not read");
        if (settings.pagingMode == capture::PagingMode::NextLink ||
            settings.pagingMode == capture::PagingMode::DropDown) {
            page = readPageForStep(settings);
            // A page that cannot be read at all is most likely still being replaced: no step now;
            // the next tick or page load tries again. (A frame that cannot be read is another
            // matter: the step then finds nothing to click and ends the run.)
            if (!page) {
                ShowStatus(3, "未能读取当前网页，暂不翻页：" + QString::fromStdString(page.error().message));
                break;
            }
            input.page = page->get();
            if (waitsForRetry())
                break;
        }

        const capture::NextPageStep step = capture::OpenNextPage(settings, input);
        // A page still arriving, or the engine's error page of a load whose failure is still to
        // be reported, does not tell that the pages ran out: the next tick or the load's end
        // decides. (A timed tick comes whether or not the page has loaded.)
        if (std::holds_alternative<capture::EndTheRun>(step.action) && m_browser->isLoading())
            break;
        if (!std::holds_alternative<capture::CaptureAndRetry>(step.action)) {
            carryOut(step);
            break;
        }
        // The page number has not moved on since the last capture kept: capture again until it
        // has, for as long as the run stays armed (a stop clears it and ends this loop).
        m_stepping = false;
        CaptureTable();
        m_stepping = true;
        const auto now = readCaptureSettings();
        if (now.pagingMode != capture::PagingMode::PageNumber || !capture::isSet(now.startPage) ||
            !capture::isSet(now.endPage))
            break;
        QEventLoop pause;
        QTimer::singleShot(kRetryPauseMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    m_stepping = false;
}

capture::Result<std::unique_ptr<capture::SnapshotDocument>> Frmmain::readPageForStep(
    const capture::CaptureSettings &settings)
{
    // The capture just read the page with the step's parts: unless the page has changed since
    // (a new document, or any change its scripts made), that read is the step's as well.
    if (auto read = std::move(m_stepRead); read && m_stepReadStamp == browser::currentChangeStamp(m_browser)) {
        m_stepStamp = m_stepReadStamp;
        return read;
    }
    return browser::takeSnapshot(browser::stampedEvaluate(m_browser, &m_stepStamp),
                                 browser::SnapshotRequest::forNextPage(settings));
}

void Frmmain::carryOut(const capture::NextPageStep &step)
{
    if (step.startPage)
        txtYs->setText(QString::fromStdString(*step.startPage));
    if (step.pageTurnText)
        m_pageTurnText = QString::fromStdString(*step.pageTurnText);
    if (step.markRow && *step.markRow < List3->count())
        List3->item(*step.markRow)->setSelected(true);
    if (step.currentRow && *step.currentRow < List3->count())
        List3->setCurrentRow(*step.currentRow, QItemSelectionModel::NoUpdate);

    if (const auto *click = std::get_if<capture::ClickElement>(&step.action)) {
        watchStepInPlace();
        m_browser->performAction(elementScript(browser::sameDocumentGuard(m_stepStamp), click->index, click->frame,
                                               "e.click();"));
    } else if (const auto *navigate = std::get_if<capture::NavigateTo>(&step.action)) {
        m_browser->Navigate(QString::fromStdString(navigate->url));
    } else if (const auto *advance = std::get_if<capture::AdvanceDropDowns>(&step.action)) {
        if (!advance->changes.empty())
            m_dropDownValue = advance->changes.front().value;
        watchStepInPlace();
        for (const auto &change : advance->changes)
            m_browser->performAction(elementScript(
                browser::sameDocumentGuard(m_stepStamp), change.index, std::nullopt,
                "e.value=" + jsString(change.value) + ";e.dispatchEvent(new Event('change',{bubbles:true}));"));
    } else if (const auto *end = std::get_if<capture::EndTheRun>(&step.action)) {
        if (end->message.empty()) {
            m_pagesRanOut = true;
            EndRun();
            m_pagesRanOut = false;
        } else {
            QMessageBox::information(this, "提示", QString::fromStdString(end->message));
            m_captureOnLoad = false;
            Timer1->stop();
            stopRunWaits();
            Command1->setText(capture::kIdleCaption);
            Txturl->setFocus();
            (void)capture::CompactOutputFile(m_session.outputPath);
            recordRunEnd(false);
        }
    }
}

void Frmmain::EndRun()
{
    m_captureOnLoad = false;
    Timer1->stop();
    stopRunWaits();
    Command1->setText(capture::kIdleCaption);
    // A run that saved nothing has no file to compact; that is not a failure.
    (void)capture::CompactOutputFile(m_session.outputPath);
    recordRunEnd(m_pagesRanOut);
}

void Frmmain::txtNp_OLEDragDrop(QDropEvent *event) { keywordBoxDrop(txtNp, event); }

void Frmmain::txtGjz_OLEDragDrop(QDropEvent *event) { keywordBoxDrop(txtGjz, event); }

void Frmmain::keywordBoxDrop(QLineEdit *box, QDropEvent *event)
{
    if (!event->mimeData()->hasText())
        return;
    box->setText(event->mimeData()->text());
    event->setDropAction(event->modifiers().testFlag(Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

}  // namespace tabvoro::ui
