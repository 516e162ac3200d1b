// Frmmain: saved jobs — the job menu, a job's settings into and out of the controls, and the
// progress of a job's run, recorded after every kept capture so that the run can go on later
// with nothing lost and nothing twice.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>

#include "browser/modcmdlg.h"
#include "browser/browser_engine.h"
#include "capture/output/code_page.h"
#include "capture/output/output_name.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::ui {

namespace {

constexpr const char *kJobFilter = "采集任务(*.json);;所有文件(*)";
constexpr const char *kJobFinishedMessage = "此采集任务已经采集完毕，没有可以继续的内容。";
constexpr const char *kResumeLoadFailed = "网页未能打开，无法继续采集：";
constexpr int kPathCapacity = 4096;

QString qs(const std::string &text) { return QString::fromStdString(text); }
std::string utf8(const QString &text) { return text.toStdString(); }


}  // namespace

void Frmmain::createJobMenu()
{
    // Added last, so it stands at the right end of the menu bar.
    mnjob = menuBar()->addMenu("任务(&J)");
    mnjob->setObjectName("mnjob");
    const char *captions[] = {"保存采集任务(&S)...", "打开采集任务(&O)...", "继续上次采集(&R)"};
    for (int i = 0; i < 3; ++i) {
        menujob[i] = mnjob->addAction(captions[i]);
        menujob[i]->setObjectName(QStringLiteral("menujob(%1)").arg(i));
        connect(menujob[i], &QAction::triggered, this, [this, i] { menujob_Click(i); });
    }
    menujob[0]->setShortcut(QKeySequence("Ctrl+S"));
    updateResumeAction();
}

void Frmmain::menujob_Click(int index)
{
    switch (index) {
    case 0: saveJob(); break;
    case 1: openJob(); break;
    case 2: resumeJob(); break;
    default: break;
    }
}

capture::Job Frmmain::currentJob() const
{
    capture::Job job;
    job.settings = readCaptureSettings();
    job.timerMs = Timer1->interval();
    for (int i = 0; i < List3->count(); ++i)
        job.urlList.push_back(utf8(List3->item(i)->text()));
    job.urlListRow = List3->currentRow();
    job.outputFolder = utf8(m_outputFolder);
    job.encoding = codePage();
    if (m_exactOutputPath)
        job.output = m_session.outputPath;
    job.engine = m_jobEngine;
    return job;
}

void Frmmain::applyJob(const capture::Job &job)
{
    const capture::CaptureSettings &s = job.settings;
    if (!job.outputFolder.empty()) {
        m_outputFolder = qs(job.outputFolder);
        if (!m_outputFolder.endsWith('/'))
            m_outputFolder += '/';
        QDir().mkpath(m_outputFolder);
        refreshFileList();
    }
    m_codePage = qs(job.encoding);
    m_jobEngine = job.engine;
    Txturl->setText(qs(s.url));
    txtGjz->setText(qs(s.keyword));
    Labgjz->setText(capture::keywordModeCaption(s.keywordMode.value_or(capture::KeywordMode::FirstRowPrefix)));
    CheckKj->setChecked(s.inFrame);
    txtKj->setText(qs(s.frameText));
    // The two exclude each other as their clicks do: the link box, set later, wins.
    CheckBt->setChecked(s.includeHeader);
    CheckBt_Click();
    CheckLj->setChecked(s.includeLinks);
    CheckLj_Click();
    CheckDs->setChecked(s.timed);
    Timer1->setInterval(job.timerMs);
    Option1[static_cast<int>(s.pagingMode)]->setChecked(true);
    txtNp->setText(qs(s.nextPageText));
    txtYs->setText(qs(s.startPage));
    txtYw->setText(qs(s.endPage));
    Txtxd->setText(qs(s.dropDownName));
    List3->clear();
    for (const auto &row : job.urlList)
        List3->addItem(qs(row));
    m_list3NewIndex = List3->count() - 1;
    List3->setCurrentRow(job.urlListRow, QItemSelectionModel::NoUpdate);
    FitListHorizontalExtent(List3);
    List2->clear();
    for (const auto &field : s.fields) {
        auto *item = new QListWidgetItem(qs(field.name), List2);
        item->setSelected(field.selected);
    }
    // The format box names the output file as it loses the focus.
    CheckBx->setChecked(s.ruled);
    CheckBx_LostFocus();
    if (!job.output.empty())
        setOutputPath(qs(job.output), true);
    Form_Resize();
}

std::string Frmmain::codePage() const { return m_codePage.isEmpty() ? capture::systemCodePage() : utf8(m_codePage); }

void Frmmain::setJobPath(const QString &path)
{
    m_jobPath = path;
    m_progress.reset();
    if (!path.isEmpty()) {
        auto progress = capture::readProgressFile(capture::progressPath(utf8(path)));
        if (progress)
            m_progress = *progress;
    }
    updateResumeAction();
}

void Frmmain::updateResumeAction()
{
    if (menujob[2])
        menujob[2]->setEnabled(m_progress && !m_progress->finished);
}

void Frmmain::saveJob()
{
    const QString path = browser::ShowSaveFileDialog(this, "保存采集任务", kJobFilter, "json");
    if (path.isEmpty())
        return;
    if (auto saved = capture::writeJobFile(utf8(path), currentJob()); !saved) {
        QMessageBox::information(this, "提示", qs(saved.error().message));
        return;
    }
    setJobPath(path);
}

void Frmmain::openJob()
{
    const QString path = browser::ShowOpenFileDialog(this, "打开采集任务", kJobFilter, kPathCapacity);
    if (path == " ")
        return;
    const auto job = capture::readJobFile(utf8(path));
    if (!job) {
        QMessageBox::information(this, "提示", qs(job.error().message));
        return;
    }
    applyJob(*job);
    setJobPath(path);
    if (auto progress = capture::readProgressFile(capture::progressPath(utf8(path))); !progress)
        QMessageBox::information(this, "提示", qs(progress.error().message));
}

std::expected<QString, QString> Frmmain::prepareResume()
{
    if (m_jobPath.isEmpty())
        return std::unexpected(QStringLiteral("没有打开的采集任务"));
    auto read = capture::readProgressFile(capture::progressPath(utf8(m_jobPath)));
    if (!read)
        return std::unexpected(qs(read.error().message));
    m_progress = *read;
    updateResumeAction();
    if (!m_progress)
        return std::unexpected(QStringLiteral("此采集任务还没有采集进度"));
    const capture::JobProgress &p = *m_progress;
    QString address;
    switch (p.mode) {
    case capture::PagingMode::NextLink:
    case capture::PagingMode::DropDown:
        address = qs(p.lastUrl);
        break;
    case capture::PagingMode::PageNumber:
        if (p.nextPage && !p.nextPage->empty()) {
            txtYs->setText(qs(*p.nextPage));
            address = Txturl->text().replace("(*)", txtYs->text());
        }
        break;
    case capture::PagingMode::UrlList:
        if (p.nextRow && *p.nextRow >= 0 && *p.nextRow < List3->count()) {
            for (int row = 0; row < *p.nextRow; ++row)
                List3->item(row)->setSelected(true);
            List3->setCurrentRow(*p.nextRow, QItemSelectionModel::NoUpdate);
            address = List3->item(*p.nextRow)->text();
        }
        break;
    }
    if (p.finished || address.isEmpty())
        return QString();
    if (auto cut = capture::cutUnrecordedEnd(p); !cut)
        return std::unexpected(qs(cut.error().message));
    m_session = capture::resumedSession(p);
    m_exactOutputPath = true;
    m_dropDownValue = p.dropDownValue;
    Option1[static_cast<int>(p.mode)]->setChecked(true);
    m_statusText = capture::kOutputPathMessage + OutputPath();
    ShowStatus(3, m_statusText);
    return address;
}

void Frmmain::startResumedRun()
{
    // The page the run stopped on (modes 0 and 3) gives a capture the repeat check drops; the
    // run then steps on from it. In modes 1 and 2 the page is the next one, captured at once.
    // A drop-down may turn its pages in place under one address: the value it had reached is
    // set again first, and the run goes on once that page is there, as after any step.
    if (Option1[3]->isChecked() && m_dropDownValue && pagingHolds(capture::PagingCheck::Full)) {
        const QString script =
            QStringLiteral("(function(){var n=%1,v=%2,c=0;for(const e of document.getElementsByTagName('select'))"
                           "if(e.name===n&&e.value!==v){e.value=v;e.dispatchEvent(new Event('change',{bubbles:true}));c++;}"
                           "return c;})()")
                .arg(jsString(utf8(Txtxd->text())), jsString(*m_dropDownValue));
        armRun();
        watchStepInPlace();
        const auto changed = m_browser->performAction(script);
        if (changed && changed->toInt() > 0)
            return;
        stopRunWaits();
        Command1->setText(capture::kIdleCaption);
        m_captureOnLoad = false;
        Timer1->stop();
    }
    Command1_Click();
}

void Frmmain::resumeJob()
{
    if (running() || busy())
        return;
    const auto address = prepareResume();
    if (!address) {
        QMessageBox::information(this, "提示", address.error());
        return;
    }
    if (address->isEmpty()) {
        QMessageBox::information(this, "提示", kJobFinishedMessage);
        return;
    }
    disconnect(m_resumeLoad);
    m_resumeLoad = connect(m_browser, &browser::BrowserEngine::DocumentComplete, this, [this](const QUrl &url, bool ok) {
        if (url.toString() == "about:blank")
            return;
        disconnect(m_resumeLoad);
        if (!ok) {
            QMessageBox::information(this, "提示", kResumeLoadFailed + url.toString());
            return;
        }
        // After the page's own notice has been handled, as a user pressing the button would.
        QTimer::singleShot(0, this, &Frmmain::startResumedRun);
    });
    m_browser->Navigate(*address);
}

void Frmmain::recordProgress()
{
    if (m_jobPath.isEmpty())
        return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_session.outputPath, ec);
    if (ec)
        return;
    const auto mode = readCaptureSettings().pagingMode;
    capture::JobProgress p = capture::progressAfterCapture(m_session, static_cast<std::int64_t>(size), mode);
    p.lastUrl = utf8(m_browser->LocationURL());
    if (mode == capture::PagingMode::PageNumber)
        p.nextPage = capture::nextPageNumber(utf8(txtYs->text()), utf8(txtYw->text()));
    if (mode == capture::PagingMode::UrlList) {
        std::vector<std::string> rows;
        for (int i = 0; i < List3->count(); ++i)
            rows.push_back(utf8(List3->item(i)->text()));
        p.nextRow = capture::nextUrlListRow(rows, List3->currentRow());
    }
    if (mode == capture::PagingMode::DropDown)
        p.dropDownValue = m_dropDownValue;
    if (auto written = capture::writeProgressFile(capture::progressPath(utf8(m_jobPath)), p); !written) {
        m_statusText = qs(written.error().message);
        ShowStatus(3, m_statusText);
        return;
    }
    m_progress = std::move(p);
    updateResumeAction();
}

void Frmmain::recordRunEnd(bool pagesRanOut)
{
    // Only the progress of this run's file: a run that kept nothing has none to change.
    if (m_jobPath.isEmpty() || !m_progress || m_progress->output != m_session.outputPath)
        return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_session.outputPath, ec);
    if (!ec)
        m_progress->bytes = static_cast<std::int64_t>(size);
    m_progress->finished = m_progress->finished || pagesRanOut;
    (void)capture::writeProgressFile(capture::progressPath(utf8(m_jobPath)), *m_progress);
    updateResumeAction();
}

}  // namespace tabvoro::ui
