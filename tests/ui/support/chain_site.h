#pragma once

// The small site the run tests page through: five pages linked by "下一页", each a table of a
// header and two rows of its own, and what their captures write.

#include <QByteArray>
#include <initializer_list>

namespace tabvoro::test {

inline const QByteArray kChainHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>";
inline const QByteArray kChainHeader = "<tr><th>编号</th><th>名称</th></tr>";

// The two rows of page n.
QByteArray chainRows(int n);
// Page n of 5 linked by "下一页" (page 5's without a link), with `extra` in its body.
QByteArray chainPage(int n, const QByteArray &extra = {});
// What captures of those pages write, one after the other, in GB18030.
QByteArray chainCaptured(std::initializer_list<int> pages);

}  // namespace tabvoro::test
