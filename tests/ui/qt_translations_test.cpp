// Qt's own dialogs speak Chinese under any locale: the process runs with LANG=C, as the
// window program does on a desktop set to English.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>

#include "browser/web_engine_setup.h"
#include "support/test_window.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/qt_translations.h"

using namespace tabvoro;

namespace {

bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

// Runs `look` on the next modal dialog once it is up, then closes it without an answer.
void inspectNextDialog(std::function<void(QDialog *)> look, bool *seen)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        poll->stop();
        *seen = true;
        look(dialog);
        dialog->reject();
    });
    poll->start(20);
}

// The texts a user reads on a dialog's buttons, labels and tool buttons, without mnemonics.
QStringList shownTexts(QWidget *dialog)
{
    QStringList texts;
    for (auto *button : dialog->findChildren<QAbstractButton *>())
        if (button->isVisibleTo(dialog))
            texts << (qobject_cast<QToolButton *>(button) ? button->toolTip() : button->text());
    for (auto *label : dialog->findChildren<QLabel *>())
        if (label->isVisibleTo(dialog) && !label->text().isEmpty())
            texts << label->text();
    texts.removeAll(QString());
    return texts;
}

QStringList withoutChinese(const QStringList &texts)
{
    QStringList english;
    for (const QString &text : texts)
        if (!hasChinese(text))
            english << text;
    return english;
}

}  // namespace

class QtTranslationsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
    }

    void cleanup() { m_window.reset(), m_dir.reset(); }

    void messageBoxButtons()
    {
        QStringList buttons;
        bool seen = false;
        inspectNextDialog(
            [&](QDialog *dialog) {
                auto *box = qobject_cast<QMessageBox *>(dialog);
                for (auto which : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
                    buttons << box->button(which)->text();
            },
            &seen);
        QMessageBox::question(m_window.get(), "提示", "文本",
                              QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        QVERIFY(seen);
        QCOMPARE(buttons, QStringList({"确定", "取消", "是(&Y)", "否(&N)"}));
    }

    // The rename prompt of the file list, with its two buttons.
    void inputPrompt()
    {
        QStringList texts;
        bool seen = false;
        test::writeBytes(m_dir->file("download/a.csv"), "A");
        m_window->menufile[7]->trigger();
        m_window->File1->setCurrentRow(0);
        inspectNextDialog([&](QDialog *dialog) { texts = shownTexts(dialog); }, &seen);
        m_window->menufile[4]->trigger();
        QVERIFY(seen);
        QVERIFY2(texts.contains("确定") && texts.contains("取消"), qPrintable(texts.join('|')));
        QCOMPARE(withoutChinese(texts), QStringList());
    }

    // The open-file dialog of the URL list import: buttons, labels, tool buttons and the
    // columns of its file list.
    void fileDialog()
    {
        QStringList texts;
        QStringList columns;
        bool seen = false;
        inspectNextDialog(
            [&](QDialog *dialog) {
                QVERIFY(qobject_cast<QFileDialog *>(dialog));
                texts = shownTexts(dialog);
                auto *header = dialog->findChild<QTreeView *>("treeView")->header();
                for (int i = 0; i < header->count(); ++i)
                    columns << header->model()->headerData(i, Qt::Horizontal).toString();
                QVERIFY(!columns.isEmpty());
            },
            &seen);
        m_window->menuurl[0]->trigger();
        QVERIFY(seen);
        QVERIFY2(texts.contains("打开(&O)") || texts.contains("打开"), qPrintable(texts.join('|')));
        QCOMPARE(withoutChinese(texts), QStringList());
        QCOMPARE(withoutChinese(columns), QStringList());
    }
};

int main(int argc, char **argv)
{
    // An English desktop: without the translations every one of these dialogs is in English.
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qunsetenv("LANGUAGE");
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    if (!ui::installChineseQtTranslations(app))
        qWarning("Qt's zh_CN translations are not installed");
    QtTranslationsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "qt_translations_test.moc"
