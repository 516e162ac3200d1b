#include "browser/page_change_watch.h"

#include <QRandomGenerator>
#include <QVariantList>

#include "browser/browser_engine.h"

namespace tabvoro::browser {

namespace {

// Counts every change to the document from the first call on. The counter lives in our world's
// globals, which a new document replaces, and carries a mark of its own document.
const QString kChangeStamp = QStringLiteral(
    "(function(){var w=window,c=w.__tabvoroChanges;if(!c){"
    "c=w.__tabvoroChanges={id:String(Math.random()).slice(2),n:0};"
    "new MutationObserver(function(r){c.n+=r.length;}).observe(document,"
    "{childList:true,subtree:true,characterData:true,attributes:true});}"
    "return c.id+':'+c.n;})()");

const QString kSettledMark = QStringLiteral("tabvoro-settled:");

// %1 the token of this watch, %2 the settle time in ms.
const QString kWatchScript = QStringLiteral(R"JS((function(token,settle){
var w=window;if(w.__tabvoroWatch)w.__tabvoroWatch.stop();
var changed=false,last=0,armed=false,timer=0;
function inTable(n){for(;n;n=n.parentNode)if(n.nodeName==='TABLE')return true;return false;}
function holdsTable(n){return n.nodeName==='TABLE'||(!!n.querySelector&&n.querySelector('table')!==null);}
function touches(r){if(inTable(r.target))return true;
var i;for(i=0;i<r.addedNodes.length;i++)if(holdsTable(r.addedNodes[i]))return true;
for(i=0;i<r.removedNodes.length;i++)if(holdsTable(r.removedNodes[i]))return true;return false;}
function stop(){ob.disconnect();clearTimeout(timer);if(w.__tabvoroWatch===self)w.__tabvoroWatch=null;}
function fire(){stop();console.log('tabvoro-settled:'+token);}
function schedule(){clearTimeout(timer);timer=setTimeout(fire,Math.max(0,settle-(Date.now()-last)));}
var ob=new MutationObserver(function(rs){for(var i=0;i<rs.length;i++)if(touches(rs[i])){
changed=true;last=Date.now();if(armed)schedule();return;}});
var how={childList:true,subtree:true,characterData:true,attributes:true};
ob.observe(document,how);
for(var f=0;f<w.frames.length;f++){try{ob.observe(w.frames[f].document,how);}catch(e){}}
var self={stop:stop,arm:function(t){if(t!==token)return false;armed=true;if(changed)schedule();return true;}};
w.__tabvoroWatch=self;return true;})('%1',%2))JS");

}  // namespace

EvaluateFn stampedEvaluate(BrowserEngine *browser, QString *stamp)
{
    return [browser, stamp](const QString &script) -> capture::Result<QVariant> {
        auto answer = browser->evaluate(QStringLiteral("[%1,%2]").arg(kChangeStamp, script));
        if (!answer)
            return answer;
        const QVariantList pair = answer->toList();
        if (pair.size() != 2)
            return capture::failure("the page gave no answer");
        *stamp = pair[0].toString();
        return pair[1];
    };
}

QString currentChangeStamp(BrowserEngine *browser)
{
    const auto answer = browser->evaluate(kChangeStamp);
    return answer ? answer->toString() : QString();
}

QString sameDocumentGuard(const QString &stamp)
{
    if (stamp.isEmpty())
        return {};
    // The document's mark is digits only (see kChangeStamp), safe inside the quotes.
    return QStringLiteral("var c=window.__tabvoroChanges;if(!c||c.id!=='%1')return false;").arg(stamp.section(':', 0, 0));
}

TableChangeWatch::TableChangeWatch(BrowserEngine *browser, int settleMs)
    : QObject(browser), m_browser(browser), m_settleMs(settleMs)
{
    connect(browser, &BrowserEngine::ConsoleMessage, this, &TableChangeWatch::onConsoleMessage);
}

bool TableChangeWatch::start()
{
    // A token the page's own scripts cannot know, so that no page can report itself settled.
    m_token = QString::number(QRandomGenerator::global()->generate64(), 36);
    const auto answer = m_browser->evaluate(kWatchScript.arg(m_token).arg(m_settleMs));
    if (!answer || !answer->toBool()) {
        m_token.clear();
        return false;
    }
    return true;
}

bool TableChangeWatch::arm()
{
    if (m_token.isEmpty())
        return false;
    const auto answer = m_browser->evaluate(
        QStringLiteral("!!window.__tabvoroWatch&&window.__tabvoroWatch.arm('%1')").arg(m_token));
    if (!answer || !answer->toBool()) {
        m_token.clear();
        return false;
    }
    return true;
}

void TableChangeWatch::cancel()
{
    // Without a round trip: this runs as a new document replaces the page, which ends the
    // observer with it; one left in a page that stays reports to a token no longer listened to,
    // and the next start() stops it.
    m_token.clear();
}

void TableChangeWatch::onConsoleMessage(const QString &message)
{
    if (m_token.isEmpty() || !message.startsWith(kSettledMark) || message.mid(kSettledMark.size()) != m_token)
        return;
    m_token.clear();
    emit settled();
}

}  // namespace tabvoro::browser
