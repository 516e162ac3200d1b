// The main window with the real web view, offscreen: open a page, capture it, and the layout.

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "capture/output/code_page.h"
#include "support/local_http_server.h"
#include "support/test_window.h"
#include "support/modal_answerer.h"
#include "test_support.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"
#include "ui/twips.h"

using namespace tabvoro;

namespace {

const QByteArray kSalesPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>销售</title></head><body>\n"
    "<p>各城市销量</p>\n"
    "<table><tr><th>城市</th><th>销量</th><th>链接</th></tr>\n"
    "<tr><td>北京市</td><td>1,234</td><td><a href=\"/d?id=1&amp;x=2\">详情</a></td></tr>\n"
    "<tr><td rowspan=\"2\">上海市</td><td>2,048</td><td><a href=\"http://other.example/p\">详情</a></td></tr>\n"
    "<tr><td>red, green</td><td>无</td></tr>\n"
    "<tr><td colspan=\"3\"><a href=\"/p2\">下一页</a></td></tr>\n"
    "</table></body></html>\n";

// A pointer move with no button held, straight to the widget (the offscreen platform does not
// deliver synthetic moves reliably to widgets that track the mouse).
void hover(QWidget *widget, QPoint pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

class FrmmainTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<ui::Frmmain> m_window;
    test::LocalHttpServer m_site;

    ui::Frmmain &window() { return *m_window; }

    // Types an address and presses Enter, then waits for the page to complete.
    void open(const QUrl &url)
    {
        QSignalSpy complete(window().webBrowser(), &browser::WebBrowser::DocumentComplete);
        window().Txturl->setText(url.toString());
        QTest::keyClick(window().Txturl, Qt::Key_Return);
        QVERIFY(complete.wait(20000));
        while (complete.last().at(0).toUrl() != url)
            QVERIFY(complete.wait(20000));
    }

    QByteArray outputBytes() const
    {
        return QByteArray::fromStdString(test::readBytes(m_window->OutputPath().toStdString()));
    }

    static QByteArray gb18030(const QString &text)
    {
        return QByteArray::fromStdString(capture::encodeText(text.toStdString(), "GB18030").value().bytes);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<test::ScratchDir>();
        m_window = test::makeTestWindow(*m_dir);
        QVERIFY(m_window);
        m_site.addPage("/sales.html", kSalesPage);
    }

    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void capturesThePageShownIntoANumberedFile()
    {
        open(m_site.url("/sales.html"));
        QCOMPARE(window().Combo1->count(), 1);
        window().txtGjz->setText("城市");
        QTest::mouseClick(window().Command1, Qt::LeftButton);

        QCOMPARE(window().Labar[0]->text(), QString("本次已采集表格数:1个,记录:3条"));
        const QString path = window().OutputPath();
        // "http://127.0.0.1:..." cuts the name "0", which numbering continues as "1".
        QCOMPARE(path, QString::fromStdString(m_dir->folder()) + "download/1.csv");
        QCOMPARE(window().Labar[3]->text(), "数据采集成功，并保存到：" + path);
        const QString expected = "北京市,1234,详情\r\n上海市,2048,详情\r\n,red， green,无\r\n";
        QCOMPARE(outputBytes(), gb18030(expected));
        QCOMPARE(window().Text1->toPlainText(), QString(expected).replace("\r\n", "\n"));
        QCOMPARE(window().File1->count(), 1);

        // The same page again is a repeat: nothing changes.
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(window().Labar[0]->text(), QString("本次已采集表格数:1个,记录:3条"));
        QCOMPARE(outputBytes(), gb18030(expected));
    }

    void linksHeaderAndRuledOptions()
    {
        open(m_site.url("/sales.html"));
        window().txtGjz->setText("城市");
        QTest::mouseClick(window().CheckLj, Qt::LeftButton);
        QTest::mouseClick(window().CheckBt, Qt::LeftButton);
        QVERIFY(window().CheckBt->isChecked());
        QVERIFY(!window().CheckLj->isChecked());
        QTest::mouseClick(window().CheckLj, Qt::LeftButton);
        QVERIFY(!window().CheckBt->isChecked());

        // Ticking the ruled box and leaving it names the file anew, as a .txt.
        window().CheckBx->setFocus();
        QTest::mouseClick(window().CheckBx, Qt::LeftButton);
        window().txtGjz->setFocus();
        QTRY_VERIFY(window().OutputPath().endsWith("download/1.txt"));

        QTest::mouseClick(window().Command1, Qt::LeftButton);
        const QString base = m_site.url("/").toString();
        const QString text = QString::fromStdString(
            capture::decodeText(outputBytes().toStdString(), "GB18030").value());
        QVERIFY2(text.startsWith("┏"), qPrintable(text));
        QVERIFY2(text.contains(base + "d?id=1&x=2"), qPrintable(text));
        QVERIFY2(text.contains("http://other.example/p"), qPrintable(text));
        QVERIFY(text.endsWith("┛\r\n"));
    }

    // Leaving the ruled box names the output file anew (the extension follows the box), and each
    // naming moves the file to the next free number: only a move to another control counts.
    void ruledBoxNamesTheFileOnlyWhenTheFocusMovesOn()
    {
        open(m_site.url("/sales.html"));
        const QString kept = QString::fromStdString(m_dir->folder()) + "kept.csv";
        window().setOutputPath(kept, true);
        window().CheckBx->setFocus();
        QTRY_VERIFY(window().CheckBx->hasFocus());
        QTest::mouseClick(window().CheckBx, Qt::LeftButton);
        for (const Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            QFocusEvent away(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(window().CheckBx, &away);
            QCOMPARE(window().OutputPath(), kept);
        }
        // A real menu taking the focus for a moment.
        QTimer::singleShot(200, [] {
            if (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
        });
        QVERIFY(window().CheckBx->hasFocus());
        window().mnfile->exec(window().CheckBx->mapToGlobal(QPoint(0, 0)));
        QCOMPARE(window().OutputPath(), kept);

        window().CheckBx->setFocus();
        QTRY_VERIFY(window().CheckBx->hasFocus());
        QTest::keyClick(window().CheckBx, Qt::Key_Tab);
        QTRY_VERIFY(window().OutputPath().endsWith("download/1.txt"));
    }

    // While the window goes, its controls still get events as they are destroyed; no handler of
    // the window may act on them then (a right press on the table list would clear it).
    void aWindowBeingDestroyedHandlesNoEvent()
    {
        QListWidget *list1 = window().List1;
        QWidget *view = list1->viewport();
        list1->addItem("1--a,b,");
        int rowsLeft = -1;
        // Sent by the window once it is no longer one, before its controls go.
        connect(m_window.get(), &QObject::destroyed, [&] {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)),
                              Qt::RightButton, Qt::RightButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &press);
            rowsLeft = list1->count();
        });
        m_window.reset();
        QCOMPARE(rowsLeft, 1);
    }

    void keywordModeLabelCyclesAndHighlights()
    {
        auto *label = window().Labgjz;
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(label->text(), QString("表格每行共有部分内容："));
        QTest::mouseClick(label, Qt::RightButton);
        QCOMPARE(label->text(), QString("所有表格中所处的序号："));
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(label->text(), QString("表格第一行前部分内容："));

        hover(label, QPoint(5, 5));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QWidget *client = window().centralWidget();
        hover(client, QPoint(client->width() - 5, client->height() - 5));
        QVERIFY(label->palette().color(QPalette::WindowText) != QColor(0, 0, 255));
    }

    void capturesATableInAFrame()
    {
        m_site.addPage("/frames.html",
                       "<html><frameset rows=\"50%,50%\"><frame name=\"top\" src=\"/menu.html\">"
                       "<frame name=\"main\" src=\"/inner.html\"></frameset></html>");
        m_site.addPage("/menu.html", "<html><body>menu</body></html>");
        m_site.addPage("/inner.html", "<html><body><table><tr><td>h</td></tr><tr><td>框架内</td></tr></table></body></html>");
        open(m_site.url("/frames.html"));
        window().CheckKj->setChecked(true);
        window().txtKj->setText("1");
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(outputBytes(), gb18030("框架内\r\n"));
    }

    void aFrameFromAnotherSiteIsCapturedAsAnyFrame()
    {
        test::LocalHttpServer otherSite;
        otherSite.addPage("/inner.html", "<html><body><table><tr><td>h</td></tr><tr><td>x</td></tr></table></body></html>");
        m_site.addPage("/cross.html", "<html><body><table><tr><td>own</td></tr><tr><td>y</td></tr></table><iframe src=\"" +
                                          otherSite.url("/inner.html").toString().toUtf8() + "\"></iframe></body></html>");
        open(m_site.url("/cross.html"));
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(outputBytes(), QByteArray("y\r\n"));
        window().CheckKj->setChecked(true);
        window().txtKj->setText("0");
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(window().Labar[0]->text(), QString("本次已采集表格数:2个,记录:2条"));
        QCOMPARE(outputBytes(), QByteArray("y\r\nx\r\n"));
    }

    void emptyAddressMakesTheButtonDoNothing()
    {
        window().Txturl->clear();
        QTest::mouseClick(window().Command1, Qt::LeftButton);
        QCOMPARE(window().Labar[0]->text(), QString("欢迎使用本软件"));
        QVERIFY(window().OutputPath().isEmpty());
    }

    void titleProgressMarkAndBrowseMenu()
    {
        open(m_site.url("/sales.html"));
        QTRY_COMPARE(window().windowTitle(), QString(" Tabvoro V2.30 - 销售(销售)"));
        QVERIFY(window().Timer1Tag == std::pair(0, 0));
        QVERIFY(!window().mnieview[0]->isEnabled());
        m_site.addPage("/second.html", "<html><head><title>二</title></head><body>2</body></html>");
        open(m_site.url("/second.html"));
        QTRY_VERIFY(window().mnieview[1]->isEnabled());
        window().mnieview[1]->trigger();
        QTRY_VERIFY(window().mnieview[0]->isEnabled());
        QTRY_COMPARE(window().webBrowser()->LocationURL(), m_site.url("/sales.html").toString());
    }

    void layoutAtTheOpeningSize()
    {
        const int dpi = window().logicalDpiY();
        QWidget *client = window().centralWidget();
        window().resize(ui::twipsToPixels(16290, dpi), ui::twipsToPixels(10755, dpi) + (window().height() - client->height()));
        QTRY_COMPARE(client->width(), ui::twipsToPixels(16290, dpi));
        QCOMPARE(client->height(), ui::twipsToPixels(10755, dpi));

        // Four rows of options, then three lists: each asked for (10755 - 1960) / 3, the file
        // list for (10755 - 1860) / 3.
        QVERIFY(window().List3->isHidden());
        QCOMPARE(window().List1->geometry(), ui::twipsRect(0, 1560, 3100, 8795.0 / 3, dpi));
        QCOMPARE(window().List1->geometry().x(), 0);
        QVERIFY(std::abs(window().File1->geometry().height() - ui::twipsToPixels(2965, dpi)) <= 1);
        // The right area: 13140 wide, 8845 high; Text1 keeps its 2985.
        QCOMPARE(window().webBrowser()->widget()->geometry(), ui::twipsRect(3130, 1560, 13140, 5830, dpi));
        QCOMPARE(window().Text1->geometry(), ui::twipsRect(3130, 7420, 13140, 2985, dpi));
        // The status row ends at the client area's bottom.
        QCOMPARE(window().Labar[3]->geometry().bottom() + 1, client->height());
        QCOMPARE(window().Labar[0]->geometry(), ui::twipsRect(20, 10455, 3100, 300, dpi));

        // Taller: all the added height goes to the view.
        window().resize(window().width(), window().height() + 150);
        QTRY_COMPARE(window().Text1->height(), ui::twipsToPixels(2985, dpi));

        // URL-list paging brings List3 in at the next pointer move over the window's surface.
        window().Option1[2]->setChecked(true);
        QVERIFY(window().List3->isHidden());
        hover(client, QPoint(client->width() - 3, client->height() - 3));
        QVERIFY(!window().List3->isHidden());
        QCOMPARE(window().List3->geometry().y(), ui::twipsToPixels(1560, dpi));
        QVERIFY(window().List1->geometry().y() > window().List3->geometry().bottom());

        // The fourth row's captions are wholly visible in their places.
        for (QAbstractButton *option : {static_cast<QAbstractButton *>(window().Option1[4]),
                                        static_cast<QAbstractButton *>(window().CheckQc)})
            QVERIFY2(option->sizeHint().width() <= option->width(), qPrintable(option->text()));

        // Too small a window snaps back to the smallest size.
        window().resize(100, 100);
        QTRY_VERIFY(window().width() >= ui::twipsToPixels(14336, dpi));
    }

    void splitBarDragStopsAtTheMinimums()
    {
        const int dpi = window().logicalDpiY();
        QWidget *bar = window().findChild<QWidget *>("Frame1");
        QVERIFY(bar);
        const QPoint start(bar->width() / 2, bar->height() / 2);
        auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
            QMouseEvent event(type, pos, bar->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(bar, &event);
        };
        send(QEvent::MouseButtonPress, start, Qt::LeftButton);
        send(QEvent::MouseMove, start - QPoint(0, 5000), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, start - QPoint(0, 5000), Qt::NoButton);
        // Up to the view's 600 twips.
        QTRY_COMPARE(window().webBrowser()->widget()->height(), ui::twipsToPixels(600, dpi));
    }
};

int main(int argc, char **argv)
{
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    FrmmainTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "frmmain_test.moc"
