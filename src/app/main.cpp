// tabvoro: the window program.

#include <QApplication>

#include "browser/web_engine_setup.h"
#include "ui/frmmain.h"
#include "ui/qt_translations.h"

int main(int argc, char **argv)
{
    tabvoro::browser::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName("tabvoro");
    QApplication::setOrganizationName("tabvoro");
    tabvoro::ui::installChineseQtTranslations(app);
    tabvoro::ui::Frmmain window;
    window.show();
    return app.exec();
}
