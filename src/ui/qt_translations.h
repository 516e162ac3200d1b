#pragma once

// The whole interface is Chinese, so Qt's own dialogs (message boxes, prompts, the file dialog)
// must speak Chinese too, whatever locale the desktop runs in.

class QCoreApplication;

namespace tabvoro::ui {

// Installs Qt's zh_CN translations into `app`; every program that shows a window calls it right
// after its application object exists. False when a catalogue is missing (Qt's dialogs then stay
// in English; nothing else changes).
bool installChineseQtTranslations(QCoreApplication &app);

}  // namespace tabvoro::ui
