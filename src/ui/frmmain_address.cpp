// Frmmain: opening an address.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "browser/browser_engine.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::Txturl_KeyPress(int keyAscii)
{
    if (keyAscii != 13)
        return;
    const QString address = Txturl->text();
    OpenAddress(address);
    RememberAddress(address);
}

void Frmmain::OpenAddress(const QString &address)
{
    ResetTableChoice();
    m_browser->Navigate(address);
    webcbnm();
}

void Frmmain::ResetTableChoice()
{
    List1->clear();
    List2->clear();
    txtGjz->clear();
    CheckKj->setChecked(false);
    txtKj->clear();
}

void Frmmain::RememberAddress(const QString &address)
{
    for (int i = 0; i < Combo1->count(); ++i)
        if (Combo1->itemText(i) == address)
            return;
    Combo1->addItem(address);
}

}  // namespace tabvoro::ui
