// Frmmain: what the window does when it opens.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>

#include "browser/web_browser.h"
#include "ui/cls_split_controls.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::Form_Load()
{
    m_split = std::make_unique<clsSplitControls>();
    m_split->setStyle(2);
    m_split->AssociateControls(WebBrowser1, Text1, Frame1);
    m_split->setTopFix(false);

    m_programFolder = m_options.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_options.programFolder;
    m_programFolder.replace('\\', '/');
    if (!m_programFolder.endsWith('/'))
        m_programFolder += '/';
    // An installed program's folder is read-only: its output then goes to the user's data folder.
    m_outputFolder = m_options.outputFolder.isEmpty() ? m_programFolder + "download/" : m_options.outputFolder;
    if (!m_outputFolder.endsWith('/'))
        m_outputFolder += '/';
    if (!QDir().mkpath(m_outputFolder) || !QFileInfo(m_outputFolder).isWritable())
        m_outputFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/download/";
    QDir().mkpath(m_outputFolder);
    refreshFileList();

    WebBrowser1->Navigate("about:blank");
    if (!m_options.openStartPage)
        return;
    const QString startPage = m_programFolder + "index.htm";
    if (QFileInfo::exists(startPage)) {
        WebBrowser1->Navigate(startPage);
        Txturl->setText(startPage);
    } else {
        WebBrowser1->Navigate(kDefaultHomePage);
    }
}

}  // namespace tabvoro::ui
