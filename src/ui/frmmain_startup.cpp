// Frmmain: what the window does when it opens.

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStandardPaths>

#include "browser/open_browser_windows.h"
#include "browser/browser_engine.h"
#include "browser/web_browser.h"
#include "capture/output/code_page.h"
#include "capture/open_windows_report.h"
#include "capture/table_listing.h"
#include "capture/output/url_list.h"
#include "ui/cls_split_controls.h"
#include "ui/table_choice_panel.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::Form_Load()
{
    m_split = std::make_unique<clsSplitControls>();
    m_split->setStyle(2);
    m_split->AssociateControls(WebBrowser1->widget(), Text1, Frame1);
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

    m_browser->Navigate("about:blank");
    loadFavorites();
    QCoreApplication::processEvents();
    StartUpReport report;
    if (m_options.reportOpenBrowserWindows)
        report = ReportOpenBrowserWindows();

    if (Txturl->text().isEmpty() || report.windows == 0) {
        if (!m_options.openStartPage)
            return;
        const QString startPage = m_programFolder + "index.htm";
        if (QFileInfo::exists(startPage)) {
            m_browser->Navigate(startPage);
            Txturl->setText(startPage);
        } else {
            m_browser->Navigate(kDefaultHomePage);
        }
        return;
    }
    if (m_options.openStartPage)
        m_browser->Navigate(Txturl->text());
    webcbnm();
    if (!report.text.isEmpty())
        setText1(QString::fromStdString(
            capture::startUpReportText(report.text.toStdString(), text1Text().toStdString())));
}

void Frmmain::loadFavorites()
{
    QFile file(m_programFolder + "favorites.ini");
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    const auto text = capture::decodeFileText(std::string_view(bytes.constData(), bytes.size()), capture::systemCodePage());
    if (!text)
        return;
    for (const std::string &line : capture::splitFileLines(*text, true))
        Combo1->addItem(QString::fromStdString(line));
}

Frmmain::StartUpReport Frmmain::ReportOpenBrowserWindows()
{
    // The desktop shell's folder windows, which share the open-window list with browser windows
    // elsewhere, have no counterpart here: the DevTools list holds only the browser's own
    // targets, and of those only the pages are windows.
    const QUrl endpoint =
        m_options.devToolsEndpoint.isEmpty() ? browser::devToolsEndpoint() : QUrl(m_options.devToolsEndpoint);
    browser::SnapshotRequest request;
    request.tables = browser::SnapshotRequest::Tables::FirstRows;
    request.bodyText = true;
    const std::vector<browser::OpenBrowserPage> pages = browser::readOpenBrowserPages(endpoint, request);

    std::vector<capture::OpenWindow> windows;
    for (const auto &page : pages) {
        windows.push_back({page.url.toStdString(), page.document.get()});
        Combo1->addItem(page.url);
    }
    const capture::OpenWindowsReport report = capture::reportOpenWindows(windows);
    m_tableChoice->addEntries(report.entries, report.chosen);
    if (report.chosen)
        Txturl->setText(QString::fromStdString(report.chosenUrl));
    if (report.nextPageWordFound)
        txtNp->setText(capture::kNextPageWord);
    return {static_cast<int>(report.windows), QString::fromStdString(report.text)};
}

}  // namespace tabvoro::ui
