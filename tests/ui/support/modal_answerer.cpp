#include "support/modal_answerer.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace tabvoro::test {

ModalAnswerer::ModalAnswerer(QString answer, bool accept, QObject *parent)
    : QObject(parent), m_answer(std::move(answer)), m_accept(accept)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    ++m_seen;
    m_lastTitle = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        m_lastText = box->text();
        box->accept();
    } else if (auto *input = qobject_cast<QInputDialog *>(modal)) {
        m_lastText = input->labelText();
        m_lastDefault = input->textValue();
        input->setTextValue(m_answer);
        m_accept ? input->accept() : input->reject();
    } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
        if (m_accept && !m_answer.isEmpty()) {
            files->selectFile(m_answer);
            // selectFile() leaves the name box alone while it has the focus, and the file list
            // it would then rely on fills in later: the path is typed in as a user would.
            if (auto *name = files->findChild<QLineEdit *>("fileNameEdit"))
                name->setText(m_answer);
            // QFileDialog hides accept(); through QDialog it still checks the file chosen.
            static_cast<QDialog *>(files)->accept();
        } else {
            files->reject();
        }
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        m_accept ? dialog->accept() : dialog->reject();
    } else {
        modal->close();
    }
}

}  // namespace tabvoro::test
