#include "ui/collected_files_panel.h"

#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QUrl>

#include "capture/output/code_page.h"
#include "files/file_commands.h"
#include "ui/event_hook.h"

namespace tabvoro::ui {

CollectedFilesPanel::CollectedFilesPanel(const Controls &controls, PanelHost host)
    : m_ui(controls), m_host(std::move(host))
{
    connectHandlers();
}

void CollectedFilesPanel::connectHandlers()
{
    for (int i = 0; i < static_cast<int>(m_ui.menufile.size()); ++i)
        connect(m_ui.menufile[i], &QAction::triggered, this, [this, i] { menufile_Click(i); });

    // Mouse presses on the rows, before the list acts on them: a right press must leave the
    // selection alone (the menu acts on the row selected before it), and a left press on the row
    // already selected previews it again, which the list reports as no change.
    m_ui.File1->viewport()->installEventFilter(new EventHook(this, [this](QObject *, QEvent *event) {
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button == Qt::RightButton) {
            File1_MouseDown(button);
            return true;
        }
        const QList<QListWidgetItem *> selected = m_ui.File1->selectedItems();
        m_fileRowAtPress = selected.isEmpty() ? -1 : m_ui.File1->row(selected.first());
        return false;
    }));
    // A row reached by a click or the arrow keys; refreshFileList's own changes are silenced.
    connect(m_ui.File1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_ui.File1->selectedItems().isEmpty())
            File1_Click();
    });
    connect(m_ui.File1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (m_ui.File1->row(item) == m_fileRowAtPress)
            File1_Click();
    });
    connect(m_ui.File1, &QListWidget::itemDoubleClicked, this, &CollectedFilesPanel::File1_DblClick);
}

void CollectedFilesPanel::refreshFileList()
{
    const QSignalBlocker quiet(m_ui.File1);
    const QString selected = m_ui.File1->currentItem() ? m_ui.File1->currentItem()->text() : QString();
    m_ui.File1->clear();
    m_ui.File1->addItems(files::collectedFiles(m_host.outputFolder()));
    if (const auto found = m_ui.File1->findItems(selected, Qt::MatchExactly); !selected.isEmpty() && !found.isEmpty())
        m_ui.File1->setCurrentItem(found.first());
}

void CollectedFilesPanel::File1_Click() { menufile_Click(0); }

void CollectedFilesPanel::File1_DblClick() { menufile_Click(1); }

void CollectedFilesPanel::File1_MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        m_ui.mnfile->popup(QCursor::pos());
}

QString CollectedFilesPanel::selectedFilePath() const
{
    const QList<QListWidgetItem *> selected = m_ui.File1->selectedItems();
    return selected.isEmpty() ? QString() : m_host.outputFolder() + selected.first()->text();
}

void CollectedFilesPanel::menufile_Click(int index)
{
    const QString path = selectedFilePath();
    // Without a selected row only the commands on the folder itself have something to act on.
    if (path.isEmpty() && index != 2 && index != 7)
        return;
    switch (index) {
    case 0:
        previewSelectedFile(path);
        break;
    case 1:
        m_host.openUrl(QUrl::fromLocalFile(path));
        break;
    case 2:
        m_host.openUrl(QUrl::fromLocalFile(m_host.outputFolder()));
        break;
    case 4:
        renameSelectedFile(path);
        break;
    case 5:
        trashSelectedFile(path);
        break;
    case 6:
        deleteLinesOfSelectedFile(path);
        break;
    case 7:
        refreshFileList();
        break;
    case 8:
        exportSelectedFile(path);
        break;
    default:
        break;
    }
}

void CollectedFilesPanel::previewSelectedFile(const QString &path)
{
    m_host.setText1(files::previewFile(path, capture::systemCodePage()).value_or(QString()));
}

void CollectedFilesPanel::renameSelectedFile(const QString &path)
{
    QPointer<CollectedFilesPanel> alive(this);
    const QString answer = QInputDialog::getText(m_host.window, "文件改名", "请输入一个新的文件名", QLineEdit::Normal, path);
    if (!alive)
        return;
    if (!answer.isEmpty()) {
        if (files::renameFile(path, answer))
            QMessageBox::information(m_host.window, "提示", "    文件改名成功!   ");
        else
            QMessageBox::information(m_host.window, "提示", "    文件改名失败，请查找原因后再修改!   ");
    }
    refreshFileList();
}

void CollectedFilesPanel::trashSelectedFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const auto answer = QMessageBox::question(m_host.window, "提示", "确定要将文件“" + name + "”移到回收站吗？",
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes && !files::moveToTrash(path))
        QMessageBox::information(m_host.window, "提示",
                                 "文件“" + name + "”无法移到回收站（回收站文件夹无法建立或无法使用），它仍在原处，没有被删除。");
    refreshFileList();
}

void CollectedFilesPanel::deleteLinesOfSelectedFile(const QString &path)
{
    // A spreadsheet is a zip of its own: removing "lines" from it would break it.
    if (files::isSpreadsheet(path))
        return;
    QPointer<CollectedFilesPanel> alive(this);
    const QString needle = QInputDialog::getText(m_host.window, "批量删除包含某字符串的行",
                                                 "请输入一串字符，程序将为你批量删除文件中所有包含此字符串的行");
    if (!alive || needle.isEmpty())
        return;
    // A file that cannot be read or written stays as it was; the command has no message of its own.
    (void)files::deleteLinesContaining(path, needle, capture::systemCodePage());
}

void CollectedFilesPanel::exportSelectedFile(const QString &path)
{
    const auto exported = files::exportSpreadsheet(path, m_host.codePage());
    if (!exported)
        QMessageBox::information(m_host.window, "提示", "文件“" + QFileInfo(path).fileName() + "”无法导出为Excel文件：" +
                                                          QString::fromStdString(exported.error().message));
    refreshFileList();
}

}  // namespace tabvoro::ui
