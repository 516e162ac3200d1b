// Frmmain: what the window shows of the browser view's state.

#include <QAction>
#include <QInputDialog>
#include <QPushButton>

#include "browser/browser_engine.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::WebBrowser1_StatusTextChange(const QString &text)
{
    // The empty report that follows a link no longer hovered would wipe a message of ours that
    // came in since the link's address was shown.
    if (text.isEmpty() && m_programStatusShown)
        return;
    ShowStatus(3, text);
    m_programStatusShown = false;
}

void Frmmain::WebBrowser1_ProgressChange(int progress, int maximum)
{
    Timer1Tag = std::pair(progress, maximum);
    m_statusText = QString::number(progress);
    ShowStatus(1, m_statusText);
    m_statusText = QString::number(maximum);
    ShowStatus(2, m_statusText);
}

void Frmmain::WebBrowser1_TitleChange(const QString &text)
{
    setWindowTitle(" Tabvoro V2.30 - " + m_browser->LocationName() + "(" + text + ")");
}

void Frmmain::WebBrowser1_LostFocus()
{
    if (Command1->isEnabled() && Command1->isVisible())
        Command1->setFocus();
}

// The browse menu acts on the view; "Internet选项" has nothing to set on this platform.
void Frmmain::mnieview_Click(int index)
{
    switch (index) {
    case 0:
        m_browser->goForward();
        break;
    case 1:
        m_browser->goBack();
        break;
    case 2:
        m_browser->stop();
        break;
    case 3:
        m_browser->reload();
        break;
    case 4: {
        const QString text = QInputDialog::getText(this, "查找", "请输入要在网页中查找的字符串");
        if (!text.isEmpty())
            m_browser->findText(text);
        break;
    }
    default:
        break;
    }
}

}  // namespace tabvoro::ui
