// Frmmain: opening an address.

#include <QComboBox>

#include "browser/browser_engine.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::OpenAddress(const QString &address)
{
    ResetTableChoice();
    m_browser->Navigate(address);
    webcbnm();
}

void Frmmain::RememberAddress(const QString &address)
{
    for (int i = 0; i < Combo1->count(); ++i)
        if (Combo1->itemText(i) == address)
            return;
    Combo1->addItem(address);
}

}  // namespace tabvoro::ui
