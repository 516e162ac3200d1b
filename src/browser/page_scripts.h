#pragma once

// The scripts put into every document and frame before the page's own scripts run, whichever
// engine shows the page. Pages written for old browsers expect these dialogs and pop-ups gone,
// and a capture after the load needs to know whether the page still waits for rows it asked for.

#include <QStringList>

namespace tabvoro::browser {

// In the order they run, each one as the page receives it.
const QStringList &documentScripts();

// `source` wrapped so that a script that throws does not keep the later ones from running.
QString guardedPageScript(const QString &source);

// A script for the page's own world answering [requests the page has outstanding, ms since it
// last had none]; null in a document that has no count (one the scripts never reached).
QString requestStateScript();

}  // namespace tabvoro::browser
