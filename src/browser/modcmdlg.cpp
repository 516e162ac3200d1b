#include "browser/modcmdlg.h"

#include <QFileDialog>
#include <QPointer>

namespace tabvoro::browser {

QString ShowOpenFileDialog(QWidget *owner, const QString &title, const QString &filter, int pathCapacity)
{
    const QString cancelled = QStringLiteral(" ");
    // On the heap: the owner may be closed while the dialog waits, and takes its children along.
    QPointer<QFileDialog> dialog = new QFileDialog(owner, title, QString(), filter);
    // Qt's own dialog, not the desktop's: it behaves the same everywhere and a test can answer it.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return cancelled;
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    if (!accepted || chosen.isEmpty() || chosen.front().isEmpty() || chosen.front().size() > pathCapacity - 1)
        return cancelled;
    return chosen.front();
}

QString ShowSaveFileDialog(QWidget *owner, const QString &title, const QString &filter, const QString &suffix)
{
    QPointer<QFileDialog> dialog = new QFileDialog(owner, title, QString(), filter);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffix);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return {};
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    return accepted && !chosen.isEmpty() ? chosen.front() : QString();
}

}  // namespace tabvoro::browser
