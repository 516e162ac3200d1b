#pragma once

// The processes a test watches end: Chromium's process group, found under the process that
// started it.

#include <QList>
#include <QtGlobal>

namespace tabvoro::test {

// Whether a process other than a zombie is left in process group `group`: a dead process is a
// member until its parent reaps it, and orphans here may wait for that.
bool groupAlive(qint64 group);
// Waits, turning the event loop, until no such process is left; false when one still is.
bool waitGroupGone(qint64 group, int ms = 10000);
// The process groups that live children of process `parent` lead: Chromium's, which it is
// started in, and not the group of the parent it shares with its other children.
QList<qint64> childGroups(qint64 parent);

}  // namespace tabvoro::test
