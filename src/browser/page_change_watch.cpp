#include "browser/page_change_watch.h"

#include <algorithm>

#include <QRandomGenerator>
#include <QVariantList>

#include "browser/browser_engine.h"
#include "browser/page_scripts.h"

namespace tabvoro::browser {

namespace {

// Counts every change to the document from the first call on. The counter lives in our world's
// globals, which a new document replaces, and carries a mark of its own document.
const QString kChangeStamp = QStringLiteral(
    "(function(){var w=window,c=w.__tabvoroChanges;if(!c){"
    "c=w.__tabvoroChanges={id:String(Math.random()).slice(2),n:0};"
    "new MutationObserver(function(r){c.n+=r.length;}).observe(document,"
    "{childList:true,subtree:true,characterData:true,attributes:true});}"
    "return c.id+':'+c.n+(document.querySelector('[aria-rowcount]')?':v':'');})()");

// A question the page answers at once, asked while it may still be busy with its own scripts.
constexpr int kPollAnswerMs = 2000;

const QString kSettledMark = QStringLiteral("tabvoro-settled:");
const QString kStillMark = QStringLiteral("tabvoro-still:");

// Whether a mutation record touches a table: a change inside one, or one added or removed.
// Grids and ARIA tables are tables as much as <table> elements are.
const QString kTouchesTable = QStringLiteral(R"JS(
function isTable(n){if(n.nodeName==='TABLE')return true;var r=n.getAttribute&&n.getAttribute('role');
return r==='table'||r==='grid'||r==='treegrid';}
function inTable(n){for(;n;n=n.parentNode)if(isTable(n))return true;return false;}
function holdsTable(n){return isTable(n)||(!!n.querySelector&&n.querySelector('table,[role=table],[role=grid],[role=treegrid]')!==null);}
function touches(r){if(inTable(r.target))return true;
var i;for(i=0;i<r.addedNodes.length;i++)if(holdsTable(r.addedNodes[i]))return true;
for(i=0;i<r.removedNodes.length;i++)if(holdsTable(r.removedNodes[i]))return true;return false;}
var how={childList:true,subtree:true,characterData:true,attributes:true};
function observe(ob){ob.observe(document,how);
for(var f=0;f<window.frames.length;f++){try{ob.observe(window.frames[f].document,how);}catch(e){}}}
)JS");

// %1 the token of this watch, %2 the settle time in ms, %3 the still time in ms. Once the
// tables have changed and been still for the still time, the page says so ("still"); once
// armed, it says "settled" when they have been still for the settle time.
const QString kWatchScript = QStringLiteral(R"JS((function(token,settle,still){
var w=window;if(w.__tabvoroWatch)w.__tabvoroWatch.stop();
var changed=false,last=0,armed=false,timer=0,early=0;)JS") + kTouchesTable + QStringLiteral(R"JS(
function stop(){ob.disconnect();clearTimeout(timer);clearTimeout(early);if(w.__tabvoroWatch===self)w.__tabvoroWatch=null;}
function fire(){stop();console.log('tabvoro-settled:'+token);}
function schedule(){clearTimeout(timer);timer=setTimeout(fire,Math.max(0,settle-(Date.now()-last)));}
function hint(){clearTimeout(early);early=setTimeout(function(){console.log('tabvoro-still:'+token);},still);}
var ob=new MutationObserver(function(rs){for(var i=0;i<rs.length;i++)if(touches(rs[i])){
changed=true;last=Date.now();hint();if(armed)schedule();return;}});
observe(ob);
var self={stop:stop,arm:function(t){if(t!==token)return false;armed=true;if(changed)schedule();return true;}};
w.__tabvoroWatch=self;return true;})('%1',%2,%3))JS");

// The changes to the page's tables since the first call in this document, and the ms since
// the last one (since the first call when none came): [changes, ms]. The observer stays for the
// document's life, so that a later wait on the same page counts from its real last change.
const QString kTableQuiet = QStringLiteral(R"JS((function(){
var w=window,s=w.__tabvoroTables;if(!s){s=w.__tabvoroTables={n:0,last:Date.now()};(function(){)JS") +
                            kTouchesTable + QStringLiteral(R"JS(
observe(new MutationObserver(function(rs){for(var i=0;i<rs.length;i++)if(touches(rs[i])){s.n++;s.last=Date.now();return;}}));})();}
return [s.n,Date.now()-s.last];})())JS");

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

QString unchangedPageGuard(const QString &stamp)
{
    // The stamp is digits, colons and a letter (see kChangeStamp), safe inside the quotes.
    return QStringLiteral("if(%1!=='%2')return '%3';").arg(kChangeStamp, stamp, unchangedPageRefusal());
}

QString unchangedPageRefusal() { return QStringLiteral("tabvoro-page-changed"); }

TableChangeWatch::TableChangeWatch(BrowserEngine *browser, int settleMs, int stillMs)
    : QObject(browser), m_browser(browser), m_settleMs(settleMs), m_stillMs(stillMs)
{
    connect(browser, &BrowserEngine::ConsoleMessage, this, &TableChangeWatch::onConsoleMessage);
}

bool TableChangeWatch::start()
{
    const auto answer = m_browser->evaluate(startExpression());
    startedInPage(answer && answer->toBool());
    return isActive();
}

QString TableChangeWatch::startExpression()
{
    // A token the page's own scripts cannot know, so that no page can report itself settled.
    m_token = QString::number(QRandomGenerator::global()->generate64(), 36);
    return kWatchScript.arg(m_token).arg(m_settleMs).arg(m_stillMs);
}

void TableChangeWatch::startedInPage(bool started)
{
    if (!started)
        m_token.clear();
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
    if (m_token.isEmpty())
        return;
    const bool still = message.startsWith(kStillMark) && message.mid(kStillMark.size()) == m_token;
    if (!still && (!message.startsWith(kSettledMark) || message.mid(kSettledMark.size()) != m_token))
        return;
    // Tables that changed and then kept still while the page fetches nothing and is not being
    // left are there: rows that still come after the capture are caught before the next step,
    // which captures again when the page changed since. A page still fetching waits the settle
    // time.
    if (still) {
        const QString token = m_token;
        if (m_browser->isLoading() || outstandingRequests(m_browser) > 0 || m_token != token)
            return;
    }
    m_token.clear();
    emit settled();
}

namespace {

// [outstanding, ms idle] as the engine or the page's count says; empty when the page cannot be
// asked.
QVariantList requestState(BrowserEngine *browser)
{
    if (const auto counted = browser->scriptRequests())
        return {counted->outstanding, counted->idleMs};
    const auto answer = browser->evaluate(requestStateScript(), kPollAnswerMs, BrowserEngine::ScriptWorld::Page);
    return answer ? answer->toList() : QVariantList();
}

}  // namespace

int outstandingRequests(BrowserEngine *browser)
{
    const QVariantList state = requestState(browser);
    return state.size() == 2 ? state[0].toInt() : 0;
}

PageSettleWatch::PageSettleWatch(BrowserEngine *browser, int quietMs)
    : QObject(browser), m_browser(browser), m_quietMs(quietMs)
{
    m_poll.setSingleShot(true);
    // Often enough that the wait ends close to the quiet time, seldom enough to cost nothing.
    m_pollMs = std::clamp(quietMs / 5, 10, 100);
    connect(&m_poll, &QTimer::timeout, this, &PageSettleWatch::poll);
}

void PageSettleWatch::start(int limitMs)
{
    m_limitMs = limitMs;
    m_changesAwaited = -1;
    m_changes = 0;
    m_active = true;
    m_since.start();
    // From the event loop: quiet() never comes from within start().
    m_poll.start(0);
}

void PageSettleWatch::awaitChange()
{
    m_changesAwaited = m_changes;
    m_active = true;
    m_poll.start(m_pollMs);
}

void PageSettleWatch::cancel()
{
    m_active = false;
    m_poll.stop();
}

void PageSettleWatch::poll()
{
    // The answers wait in a nested event loop, in which the timer must not ask again.
    if (!m_active || m_polling)
        return;
    m_polling = true;
    const auto tables = m_browser->evaluate(kTableQuiet, kPollAnswerMs);
    const QVariantList r = m_active ? requestState(m_browser) : QVariantList();
    m_polling = false;
    if (!m_active)
        return;
    const QVariantList t = tables ? tables->toList() : QVariantList();
    // A page that cannot be asked (still busy, being replaced) has not settled: it is asked
    // again, up to the limit.
    bool settled = t.size() == 2 && t[1].toLongLong() >= m_quietMs;
    if (t.size() == 2)
        m_changes = t[0].toLongLong();
    if (r.size() == 2)
        settled = settled && r[0].toInt() == 0 && r[1].toLongLong() >= m_quietMs;
    if (m_changesAwaited >= 0)
        settled = settled && m_changes > m_changesAwaited;
    const bool atLimit = m_since.elapsed() >= m_limitMs;
    if (settled || atLimit) {
        m_active = false;
        emit quiet(!settled);
        return;
    }
    m_poll.start(m_pollMs);
}

}  // namespace tabvoro::browser
