// Frmmain: capture runs over many pages. The run is a CaptureRun of its own; the window starts
// and stops it with the button, gives it the controls' settings when it asks, and shows what it
// reports: the button's caption, the kept capture, the status row, its messages.

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include "ui/frmmain.h"
#include "ui/frmmain_run_controls.h"
#include "ui/table_choice_panel.h"

namespace tabvoro::ui {

namespace {

constexpr const char *kIdleCaption = "抓取表格(&Z)";
constexpr const char *kRunningCaption = "暂停抓取(&Z)";

}  // namespace

void Frmmain::createRun()
{
    m_runControls = std::make_unique<ControlsForRun>(*this);
    m_run = new run::CaptureRun(m_browser, m_runControls.get(), m_options.runTimings, this);
    Timer1 = &m_run->timer();
    Timer1->setObjectName("Timer1");
    connect(m_run, &run::CaptureRun::runningChanged, this,
            [this](bool on) { Command1->setText(on ? kRunningCaption : kIdleCaption); });
    connect(m_run, &run::CaptureRun::captureKept, this, &Frmmain::showKeptCapture);
    connect(m_run, &run::CaptureRun::status, this, [this](const QString &text) {
        m_statusText = text;
        ShowStatus(3, m_statusText);
    });
    connect(m_run, &run::CaptureRun::notice, this, &Frmmain::showRunNotice);
    connect(m_run, &run::CaptureRun::progressChanged, this, &Frmmain::updateResumeAction);
}

void Frmmain::Command1_Click()
{
    if (m_run->isRunning()) {
        m_run->EndRun();
        return;
    }
    // The box over the chosen table has served its purpose once the capture starts; taking it
    // away waits for the page, and the window may be gone or the run started by then.
    QPointer<Frmmain> alive(this);
    if (!m_tableChoice->ClearTableOutline() || !alive || m_run->isRunning())
        return;
    m_run->start();
}

void Frmmain::showKeptCapture(const run::KeptCapture &kept)
{
    m_statusText = kept.tally;
    ShowStatus(0, m_statusText);
    m_lastSaveFailed = !kept.saved;
    m_lastSaveError = kept.saveError;
    setText1(kept.shownText);
    refreshFileList();
    m_statusText = kept.saveStatus;
    ShowStatus(3, m_statusText);
    emit captureKept(kept.tally);
}

void Frmmain::showRunNotice(const QString &message, run::NoticeFocus focus)
{
    QMessageBox::information(this, "提示", message);
    if (focus == run::NoticeFocus::AddressList)
        Combo1->setFocus();
    else
        Txturl->setFocus();
}

std::vector<std::string> Frmmain::urlListRows() const
{
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(List3->count()));
    for (int i = 0; i < List3->count(); ++i)
        rows.push_back(List3->item(i)->text().toStdString());
    return rows;
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
