#pragma once

// The scripts put into every document and frame before the page's own scripts run, whichever
// engine shows the page. Pages written for old browsers expect these dialogs and pop-ups gone.

#include <QStringList>

namespace tabvoro::browser {

// In the order they run, each one as the page receives it.
const QStringList &pageDialogScripts();

// `source` wrapped so that a script that throws does not keep the later ones from running.
QString guardedPageScript(const QString &source);

}  // namespace tabvoro::browser
