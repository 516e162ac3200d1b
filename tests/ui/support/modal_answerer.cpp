#include "support/modal_answerer.h"

#include <QApplication>
#include <QInputDialog>
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
        input->setTextValue(m_answer);
        m_accept ? input->accept() : input->reject();
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        m_accept ? dialog->accept() : dialog->reject();
    } else {
        modal->close();
    }
}

}  // namespace tabvoro::test
