#include "browser/page_scripts.h"

namespace tabvoro::browser {

namespace {

// Counts the requests of the page's own scripts (XMLHttpRequest from send to loadend, fetch()
// until its promise settles): rows fetched after the load arrive by them. Long-lived
// connections (WebSocket, EventSource) are left alone: they never end, and a page holding one
// is no less complete. The count sits in the page's world, where the page's scripts make their
// requests; its property is neither enumerable nor writable, so the page neither sees it in its
// globals nor overwrites it.
const QString kRequestCount = QStringLiteral(R"JS((function(){
var w=window,n=0,idle=Date.now();
function end(){if(n>0&&--n===0)idle=Date.now();}
Object.defineProperty(w,'__tabvoroRequests',{value:function(){return [n,Date.now()-idle];}});
var X=w.XMLHttpRequest;
if(X&&X.prototype.send){var send=X.prototype.send;
X.prototype.send=function(){var x=this,open=true;
function fin(){if(open){open=false;x.removeEventListener('loadend',fin);end();}}
n++;x.addEventListener('loadend',fin);
try{var r=send.apply(x,arguments);if(x.readyState===4)fin();return r;}catch(e){fin();throw e;}};}
var f=w.fetch;
if(f){w.fetch=function(){n++;var p;try{p=f.apply(w,arguments);}catch(e){end();throw e;}
p.then(end,end);return p;};}
})();)JS");

}  // namespace

const QStringList &documentScripts()
{
    static const QStringList scripts{
        QStringLiteral("function showModalDialog(){return;}"),
        QStringLiteral("window.confirm=function (){return true;}"),
        QStringLiteral("function alert(){return true;}"),
        QStringLiteral("window.alert=null;"),
        QStringLiteral("window.confirm=null;"),
        QStringLiteral("window.showModaldialog=null;"),
        QStringLiteral("window.open=null;"),
        kRequestCount,
    };
    return scripts;
}

QString guardedPageScript(const QString &source) { return QStringLiteral("try{%1}catch(e){}").arg(source); }

QString requestStateScript()
{
    return QStringLiteral("(function(){var r=window.__tabvoroRequests;return typeof r==='function'?r():null;})()");
}

}  // namespace tabvoro::browser
