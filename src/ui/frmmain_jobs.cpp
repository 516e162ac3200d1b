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
    if (m_run->outputPathIsExact())
        job.output = m_run->session().outputPath;
    job.engine = m_jobEngine;
    job.settleSeconds = m_jobSettleSeconds;
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
    m_jobSettleSeconds = job.settleSeconds;
    m_run->setSettleLimit(static_cast<int>(job.settleSeconds * 1000));
    Txturl->setText(qs(s.url));
    txtGjz->setText(qs(s.keyword));
    setKeywordMode(s.keywordMode.value_or(capture::KeywordMode::FirstRowPrefix));
    CheckKj->setChecked(s.inFrame);
    txtKj->setText(qs(s.frameText));
    // The two exclude each other as their clicks do: the link box, set later, wins.
    CheckBt->setChecked(s.includeHeader);
    CheckBt_Click();
    CheckLj->setChecked(s.includeLinks);
    CheckLj_Click();
    CheckQc->setChecked(s.uniqueRows);
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

void Frmmain::setJobPath(const QString &path) { m_run->setJobPath(utf8(path)); }

void Frmmain::updateResumeAction()
{
    const auto &progress = m_run->progress();
    if (menujob[2])
        menujob[2]->setEnabled(progress && !progress->finished);
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
    if (m_run->jobPath().empty())
        return std::unexpected(QStringLiteral("没有打开的采集任务"));
    auto read = capture::readProgressFile(capture::progressPath(m_run->jobPath()));
    if (!read)
        return std::unexpected(qs(read.error().message));
    if (!*read) {
        m_run->setJobPath(m_run->jobPath());
        return std::unexpected(QStringLiteral("此采集任务还没有采集进度"));
    }
    const auto point = m_run->resumeFrom(**read, utf8(Txturl->text()), urlListRows());
    if (!point)
        return std::unexpected(qs(point.error().message));
    if (point->address.empty())
        return QString();
    if (point->startPage)
        txtYs->setText(qs(*point->startPage));
    if (point->urlListRow) {
        for (int row = 0; row < *point->urlListRow; ++row)
            List3->item(row)->setSelected(true);
        List3->setCurrentRow(*point->urlListRow, QItemSelectionModel::NoUpdate);
    }
    Option1[static_cast<int>((*read)->mode)]->setChecked(true);
    m_statusText = capture::kOutputPathMessage + OutputPath();
    ShowStatus(3, m_statusText);
    return qs(point->address);
}

void Frmmain::startResumedRun() { m_run->startResumed(); }

void Frmmain::resumeJob()
{
    if (m_run->isRunning() || m_run->isBusy())
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

}  // namespace tabvoro::ui
