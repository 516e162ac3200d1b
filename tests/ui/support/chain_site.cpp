#include "support/chain_site.h"

#include <QString>

#include "capture/output/code_page.h"

namespace tabvoro::test {

QByteArray chainRows(int n)
{
    const QByteArray k = QByteArray::number(n);
    return "<tr><td>p" + k + "a</td><td>甲" + k + "</td></tr><tr><td>p" + k + "b</td><td>乙" + k + "</td></tr>";
}

QByteArray chainPage(int n, const QByteArray &extra)
{
    const QByteArray next = n < 5 ? "<a href=\"" + QByteArray::number(n + 1) + ".html\">下一页</a>" : "<span>下一页</span>";
    return kChainHead + "<table>" + kChainHeader + chainRows(n) + "<tr><td colspan=\"2\">" + next + "</td></tr></table>" +
           extra + "</body></html>";
}

QByteArray chainCaptured(std::initializer_list<int> pages)
{
    QString text;
    for (int n : pages)
        text += QString("p%1a,甲%1\r\np%1b,乙%1\r\n").arg(n);
    return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
}

}  // namespace tabvoro::test
