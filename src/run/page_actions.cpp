#include "run/page_actions.h"

namespace tabvoro::run {

namespace {

const QString kChangeEvent = QStringLiteral("e.dispatchEvent(new Event('change',{bubbles:true}));");

}  // namespace

QString jsString(const std::string &text)
{
    QString quoted = QString::fromStdString(text);
    quoted.replace('\\', "\\\\").replace('\'', "\\'").replace('\n', "\\n").replace('\r', "\\r");
    return "'" + quoted + "'";
}

QString elementScript(const QString &guard, std::size_t index, std::optional<std::size_t> frame, const QString &action)
{
    return QStringLiteral("(function(){%1var d=document;%2var e=d.getElementsByTagName('*')[%3];"
                          "if(!e)return false;%4return true;})()")
        .arg(guard)
        .arg(frame ? QStringLiteral("d=window.frames[%1].document;").arg(*frame) : QString())
        .arg(index)
        .arg(action);
}

QString clickAction() { return QStringLiteral("e.click();"); }

QString watchedStepScript(const QString &watchStart, const QString &step)
{
    return QStringLiteral("(function(){var w=false;try{w=!!(%1);}catch(x){}return [w,%2];})()")
        .arg(watchStart.isEmpty() ? QStringLiteral("false") : watchStart, step);
}

QString setValueAction(const std::string &value) { return "e.value=" + jsString(value) + ";" + kChangeEvent; }

QString scrollToEndScript(const QString &guard)
{
    // Each box is looked at once, however many tables it holds: the walk up from a table stops
    // at the first box met before.
    return QStringLiteral(
               "(function(){%1var d=document,w=window,s=d.scrollingElement||d.documentElement,seen=new Set();"
               "function ping(e){e.dispatchEvent(new Event('scroll'));}"
               "w.scrollTo(0,s.scrollHeight);ping(w);ping(d);"
               "for(const t of d.querySelectorAll('table,[role=grid],[role=table],[role=treegrid]'))"
               "for(var e=t;e&&e!==d.body&&e!==d.documentElement&&!seen.has(e);e=e.parentElement){seen.add(e);"
               "if(e.scrollHeight>e.clientHeight){var o=getComputedStyle(e).overflowY;"
               "if(o==='auto'||o==='scroll'||o==='overlay'){e.scrollTop=e.scrollHeight;ping(e);}}}"
               "return true;})()")
        .arg(guard);
}

QString restoreDropDownsScript(const std::string &name, const std::string &value)
{
    return QStringLiteral("(function(){var n=%1,v=%2,c=0;for(const e of document.getElementsByTagName('select'))"
                          "if(e.name===n&&e.value!==v){e.value=v;%3c++;}return c;})()")
        .arg(jsString(name), jsString(value), kChangeEvent);
}

}  // namespace tabvoro::run
