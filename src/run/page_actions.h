#pragma once

// The scripts by which a run acts on the page, as a user would: a click on an element, a
// drop-down set to a value with its change event fired. Elements are addressed by their place in
// the document's element list, as the next-page step found them.

#include <QString>
#include <cstddef>
#include <optional>
#include <string>

namespace tabvoro::run {

// A text as a string literal of a script run in the page.
QString jsString(const std::string &text);

// Runs `action` on element `index` of the page's element list, or of its frame `frame`; answers
// false when there is no such element, or when `guard` (a function body start) returns first.
QString elementScript(const QString &guard, std::size_t index, std::optional<std::size_t> frame,
                      const QString &action);
QString clickAction();
// `step` (an element's script) after `watchStart` (an expression that starts a watch of the page,
// or nothing), in one call that answers [whether the watch started, the step's answer]; a watch
// whose start throws is not started, and the step still runs.
QString watchedStepScript(const QString &watchStart, const QString &step);
QString setValueAction(const std::string &value);

// Scrolls the page to its end, and every box that scrolls a table or grid of it (the table
// itself, or one around it); a scroll event follows each, for pages that listen for it. Answers
// false when `guard` returns first.
QString scrollToEndScript(const QString &guard);

// Sets every drop-down named `name` whose value is not `value` to it and fires its change event;
// answers how many it set.
QString restoreDropDownsScript(const std::string &name, const std::string &value);

}  // namespace tabvoro::run
