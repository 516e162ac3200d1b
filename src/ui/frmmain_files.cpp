// Frmmain: the list of output files and the commands on them.

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QUrl>

#include "capture/output/code_page.h"
#include "files/file_commands.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

namespace {

// Mouse presses on File1's rows, before the list acts on them: a right press must leave the
// selection alone (the menu acts on the row selected before it), and a left press on the row
// already selected previews it again, which the list reports as no change.
class FileListMouse : public QObject {
public:
    FileListMouse(QObject *parent, std::function<bool(QMouseEvent *)> onPress)
        : QObject(parent), m_onPress(std::move(onPress))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            return m_onPress(static_cast<QMouseEvent *>(event));
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QMouseEvent *)> m_onPress;
};

}  // namespace

void Frmmain::connectFileHandlers()
{
    openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    for (int i = 0; i < static_cast<int>(menufile.size()); ++i)
        connect(menufile[i], &QAction::triggered, this, [this, i] { menufile_Click(i); });

    watchEvents(File1->viewport(), new FileListMouse(File1, [this](QMouseEvent *event) {
        if (event->button() == Qt::RightButton) {
            File1_MouseDown(event->button());
            return true;
        }
        const QList<QListWidgetItem *> selected = File1->selectedItems();
        m_fileRowAtPress = selected.isEmpty() ? -1 : File1->row(selected.first());
        return false;
    }));
    // A row reached by a click or the arrow keys; refreshFileList's own changes are silenced.
    connect(File1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!File1->selectedItems().isEmpty())
            File1_Click();
    });
    connect(File1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (File1->row(item) == m_fileRowAtPress)
            File1_Click();
    });
    connect(File1, &QListWidget::itemDoubleClicked, this, &Frmmain::File1_DblClick);
}

void Frmmain::refreshFileList()
{
    const QSignalBlocker quiet(File1);
    const QString selected = File1->currentItem() ? File1->currentItem()->text() : QString();
    File1->clear();
    File1->addItems(files::collectedFiles(m_outputFolder));
    if (const auto found = File1->findItems(selected, Qt::MatchExactly); !selected.isEmpty() && !found.isEmpty())
        File1->setCurrentItem(found.first());
}

void Frmmain::File1_Click() { menufile_Click(0); }

void Frmmain::File1_DblClick() { menufile_Click(1); }

void Frmmain::File1_MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        mnfile->popup(QCursor::pos());
}

QString Frmmain::selectedFilePath() const
{
    const QList<QListWidgetItem *> selected = File1->selectedItems();
    return selected.isEmpty() ? QString() : m_outputFolder + selected.first()->text();
}

void Frmmain::menufile_Click(int index)
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
        openUrl(QUrl::fromLocalFile(path));
        break;
    case 2:
        openUrl(QUrl::fromLocalFile(m_outputFolder));
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

void Frmmain::previewSelectedFile(const QString &path)
{
    setText1(files::previewFile(path, capture::systemCodePage()).value_or(QString()));
}

void Frmmain::renameSelectedFile(const QString &path)
{
    const QString answer = QInputDialog::getText(this, "文件改名", "请输入一个新的文件名", QLineEdit::Normal, path);
    if (!answer.isEmpty()) {
        if (files::renameFile(path, answer))
            QMessageBox::information(this, "提示", "    文件改名成功!   ");
        else
            QMessageBox::information(this, "提示", "    文件改名失败，请查找原因后再修改!   ");
    }
    refreshFileList();
}

void Frmmain::trashSelectedFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const auto answer = QMessageBox::question(this, "提示", "确定要将文件“" + name + "”移到回收站吗？",
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes && !files::moveToTrash(path))
        QMessageBox::information(this, "提示", "文件“" + name + "”无法移到回收站（回收站文件夹无法建立或无法使用），它仍在原处，没有被删除。");
    refreshFileList();
}

void Frmmain::deleteLinesOfSelectedFile(const QString &path)
{
    // A spreadsheet is a zip of its own: removing "lines" from it would break it.
    if (files::isSpreadsheet(path))
        return;
    const QString needle = QInputDialog::getText(this, "批量删除包含某字符串的行",
                                                 "请输入一串字符，程序将为你批量删除文件中所有包含此字符串的行");
    if (needle.isEmpty())
        return;
    // A file that cannot be read or written stays as it was; the command has no message of its own.
    (void)files::deleteLinesContaining(path, needle, capture::systemCodePage());
}

void Frmmain::exportSelectedFile(const QString &path)
{
    const auto exported = files::exportSpreadsheet(path, codePage());
    if (!exported)
        QMessageBox::information(this, "提示", "文件“" + QFileInfo(path).fileName() + "”无法导出为Excel文件：" +
                                                 QString::fromStdString(exported.error().message));
    refreshFileList();
}

}  // namespace tabvoro::ui
