// Frmmain: the list of output files.

#include <QDir>
#include <QListWidget>

#include "ui/frmmain.h"

namespace tabvoro::ui {

void Frmmain::connectFileHandlers() {}

void Frmmain::refreshFileList()
{
    const QString selected = File1->currentItem() ? File1->currentItem()->text() : QString();
    File1->clear();
    const QStringList names = QDir(m_outputFolder).entryList({"*.csv", "*.txt"}, QDir::Files, QDir::Name);
    File1->addItems(names);
    if (const auto found = File1->findItems(selected, Qt::MatchExactly); !selected.isEmpty() && !found.isEmpty())
        File1->setCurrentItem(found.first());
}

}  // namespace tabvoro::ui
