// Frmmain: the capture of the page shown and the options around it.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "capture/output/output_name.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::ui {

namespace {

std::string utf8(const QString &text) { return text.toStdString(); }


}  // namespace

capture::CaptureSettings Frmmain::readCaptureSettings() const
{
    capture::CaptureSettings s;
    s.url = utf8(Txturl->text());
    s.keyword = utf8(txtGjz->text());
    s.keywordMode = m_keywordMode;
    s.inFrame = CheckKj->isChecked();
    s.frameText = utf8(txtKj->text());
    s.includeHeader = CheckBt->isChecked();
    s.includeLinks = CheckLj->isChecked();
    s.ruled = CheckBx->isChecked();
    s.uniqueRows = CheckQc->isChecked();
    s.timed = CheckDs->isChecked();
    for (int i = 0; i < static_cast<int>(Option1.size()); ++i)
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

QString Frmmain::OutputPath() const { return QString::fromStdString(m_run->session().outputPath); }

void Frmmain::setOutputPath(const QString &path, bool exact) { m_run->setOutputPath(utf8(path), exact); }

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
    m_run->setOutputPath(capture::webcbnm(utf8(Txturl->text()), CheckBx->isChecked(), utf8(m_outputFolder)), false);
    m_statusText = capture::kOutputPathMessage + OutputPath();
    ShowStatus(3, m_statusText);
}

void Frmmain::Labgjz_MouseUp()
{
    setKeywordMode(capture::nextKeywordMode(m_keywordMode));
}

void Frmmain::setKeywordMode(capture::KeywordMode mode)
{
    static const char *const captions[] = {"表格第一行前部分内容：", "表格每行共有部分内容：", "所有表格中所处的序号："};
    m_keywordMode = mode;
    Labgjz->setText(captions[static_cast<int>(mode)]);
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
