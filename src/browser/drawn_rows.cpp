#include "browser/drawn_rows.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "browser/browser_engine.h"

namespace tabvoro::browser {

namespace {

// One pass over the grids, in our isolated world: each grid still to be gathered keeps the rows
// it draws now (a clone of each, its cells' texts as drawn), then its box is scrolled on; a grid
// done (every row it claims kept, the row limit reached, or three passes in a row at the box's
// end without a new row) leaves its rows, in aria-rowindex order, in a detached element the read
// of the page takes as the grid's rows, and its box goes back. %1: rows still allowed.
const QString kGatherPass = QStringLiteral(R"JS((function(allowed){
var out={pending:0,grids:0,rows:0,bounded:false},d=document;
function grid(e){var r=(e.getAttribute('role')||'').trim().toLowerCase().split(/\s+/)[0];
return e.localName!=='table'&&(r==='grid'||r==='treegrid'||r==='table');}
function owner(e){for(var p=e.parentElement;p;p=p.parentElement)if(p.localName==='table'||grid(p))return p;return null;}
function rowsOf(g){var found=[];for(const r of g.querySelectorAll('[aria-rowindex]'))
if((r.getAttribute('role')||'').trim().toLowerCase()==='row'&&owner(r)===g)found.push(r);return found;}
function box(g){for(var e=g;e&&e!==d.body&&e!==d.documentElement;e=e.parentElement){
if(e.scrollHeight>e.clientHeight){var o=getComputedStyle(e).overflowY;if(o==='auto'||o==='scroll'||o==='overlay')return e;}}
return d.scrollingElement||d.documentElement;}
function keep(s,row){var i=parseInt(row.getAttribute('aria-rowindex'),10);if(!(i>0)||s.seen.has(i))return false;
var copy=row.cloneNode(true),from=row.querySelectorAll('*'),to=copy.querySelectorAll('*');
for(var k=0;k<from.length;k++)if(from[k].hasAttribute('role'))Object.defineProperty(to[k],'innerText',{value:from[k].innerText});
s.seen.set(i,copy);return true;}
for(const g of d.querySelectorAll('[aria-rowcount]')){
if(!grid(g))continue;
var s=g.__tabvoroGather;
if(!s){var claimed=parseInt(g.getAttribute('aria-rowcount'),10),drawn=rowsOf(g);
if(!(claimed>drawn.length)||!drawn.length)continue;
var b=box(g);s=g.__tabvoroGather={claimed:claimed,seen:new Map(),box:b,top:b.scrollTop,still:0};}
var fresh=0;for(const r of rowsOf(g)){if(fresh>=allowed)break;if(keep(s,r))fresh++;}
allowed-=fresh;
var before=s.box.scrollTop;
var end=s.seen.size>=s.claimed||allowed<=0||s.still>=3;
if(!end){s.box.scrollTop=before+Math.max(1,Math.floor(s.box.clientHeight*0.8));
s.box.dispatchEvent(new Event('scroll'));
s.still=s.box.scrollTop===before&&!fresh?s.still+1:0;out.pending++;continue;}
var holder=d.createElement('div');
for(const i of Array.from(s.seen.keys()).sort(function(a,b){return a-b;}))holder.appendChild(s.seen.get(i));
g.__tabvoroDrawnRows=holder;s.box.scrollTop=s.top;delete g.__tabvoroGather;
out.grids++;out.rows+=s.seen.size;out.bounded=out.bounded||s.seen.size<s.claimed;}
return JSON.stringify(out);})(%1))JS");

const QString kRelease = QStringLiteral(
    "(function(){for(const g of document.querySelectorAll('[aria-rowcount]')){"
    "delete g.__tabvoroDrawnRows;delete g.__tabvoroGather;}return true;})()");

}  // namespace

bool stampShowsRowCounts(const QString &stamp) { return stamp.endsWith(QStringLiteral(":v")); }

capture::Result<DrawnRows> gatherDrawnRows(BrowserEngine *browser, const DrawnRowsLimits &limits)
{
    releaseDrawnRows(browser);
    DrawnRows gathered;
    int allowed = limits.rowLimit;
    const QDeadlineTimer deadline(limits.timeoutMs);
    while (true) {
        // Past the time allowed, each grid ends at once with what it has kept.
        const auto answer = browser->evaluate(kGatherPass.arg(deadline.hasExpired() ? 0 : allowed));
        if (!answer)
            return std::unexpected(answer.error());
        const QJsonObject pass = QJsonDocument::fromJson(answer->toString().toUtf8()).object();
        gathered.grids += pass["grids"].toInt();
        gathered.rows += pass["rows"].toInt();
        gathered.bounded = gathered.bounded || pass["bounded"].toBool() || deadline.hasExpired();
        allowed = std::max(0, limits.rowLimit - gathered.rows);
        if (pass["pending"].toInt() == 0)
            return gathered;
        QEventLoop pause;
        QTimer::singleShot(limits.pauseMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

void releaseDrawnRows(BrowserEngine *browser) { (void)browser->evaluate(kRelease); }

}  // namespace tabvoro::browser
