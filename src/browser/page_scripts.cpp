#include "browser/page_scripts.h"

namespace tabvoro::browser {

const QStringList &pageDialogScripts()
{
    static const QStringList scripts{
        QStringLiteral("function showModalDialog(){return;}"),
        QStringLiteral("window.confirm=function (){return true;}"),
        QStringLiteral("function alert(){return true;}"),
        QStringLiteral("window.alert=null;"),
        QStringLiteral("window.confirm=null;"),
        QStringLiteral("window.showModaldialog=null;"),
        QStringLiteral("window.open=null;"),
    };
    return scripts;
}

QString guardedPageScript(const QString &source) { return QStringLiteral("try{%1}catch(e){}").arg(source); }

}  // namespace tabvoro::browser
