#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tabvoro::ui {

bool installChineseQtTranslations(QCoreApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool all = true;
    // "qt" is Qt's catalogue of catalogues (it pulls in qtbase's, where the dialogs' texts are);
    // the web view's own menus and messages come with its own catalogue.
    for (const char *catalogue : {"qt_zh_CN", "qtwebengine_zh_CN"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(QLatin1String(catalogue), folder) && QCoreApplication::installTranslator(translator))
            continue;
        delete translator;
        all = false;
    }
    return all;
}

}  // namespace tabvoro::ui
