// The split panel: layout and drag arithmetic without a window, then real drags on real widgets.
// Widget cases work in twips at 96 DPI (15 twips a pixel) inside an 800 x 600 pixel container.

#include <cmath>
#include <memory>

#include <QFrame>
#include <QMouseEvent>
#include <QTextEdit>
#include <QtTest>

#include "ui/cls_split_controls.h"
#include "ui/split_layout.h"

using namespace tabvoro::ui;

namespace {

QRectF toQ(const std::optional<SplitRect> &r)
{
    return r ? QRectF(r->left, r->top, r->width, r->height) : QRectF();
}

// A drag step of the left button to a point of the container, given as the bar receives it.
void dragTo(QWidget *bar, QPoint inContainer, Qt::MouseButtons held = Qt::LeftButton)
{
    const QPoint local = inContainer - bar->pos();
    QMouseEvent move(QEvent::MouseMove, local, bar->mapToGlobal(local), Qt::NoButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &move);
}

void releaseAt(QWidget *bar, QPoint inContainer)
{
    QTest::mouseRelease(bar, Qt::LeftButton, {}, inContainer - bar->pos());
}

QColor barColor(const QWidget *bar) { return bar->palette().color(bar->backgroundRole()); }

// The offscreen platform cannot grab the mouse and says so at every press on the bar.
QtMessageHandler g_nextHandler = nullptr;
void quietAboutGrabbing(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("does not support grabbing the mouse")))
        g_nextHandler(type, context, message);
}

struct LayoutCase {
    const char *name = "";
    std::int16_t style = 0;
    bool fix = false;  // LeftFix or TopFix
    bool refToBar = false;
    SplitRect bound;
    SplitRect bar;  // where the bar stands before the layout
    std::optional<SplitRect> first;  // empty: left where it stands
    std::optional<SplitRect> second;
    std::optional<SplitRect> wantBar;
};

struct DragCase {
    const char *name = "";
    std::int16_t style = 0;
    bool allowTurn = false;
    bool dirChanged = false;
    float x = 0;
    float y = 0;
    SplitDragStep want;
};

}  // namespace

Q_DECLARE_METATYPE(LayoutCase)
Q_DECLARE_METATYPE(DragCase)

class SplitControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_container;
    QWidget *m_top = nullptr;     // stands for WebBrowser1
    QTextEdit *m_bottom = nullptr;  // Text1
    QFrame *m_bar = nullptr;        // Frame1
    std::unique_ptr<clsSplitControls> m_split;

    // The main window's settings over the whole container, Text1 200 pixels tall: WebBrowser1
    // 0..398, bar 398..400, Text1 400..600. A pixel container has a 2 pixel bar and minimums of
    // 40 pixels, which are the twips defaults (30 and 600) at 96 DPI: the same pixels either way.
    void layOutLikeTheWindow(bool pixels = false)
    {
        m_bottom->setGeometry(0, 0, 800, 200);
        m_split->setContainerPixel(pixels);
        m_split->setStyle(2);
        m_split->setTopFix(false);
        m_split->AssociateControls(m_top, m_bottom, m_bar);
        const float unit = pixels ? 1 : 15;
        m_split->SetBoundRect(0, 0, 800 * unit, 600 * unit);
        m_split->ResizeControl(false);
    }

private slots:
    void initTestCase()
    {
        g_nextHandler = qInstallMessageHandler(quietAboutGrabbing);
        QWidget probe;
        if (probe.logicalDpiX() != 96 || probe.logicalDpiY() != 96)
            QSKIP("the widget cases are worked out for 96 DPI");
    }

    void init()
    {
        m_split.reset();
        m_container = std::make_unique<QWidget>();
        m_container->resize(800, 600);
        m_top = new QWidget(m_container.get());
        m_bottom = new QTextEdit(m_container.get());
        m_bar = new QFrame(m_container.get());
        m_bar->setFrameShape(QFrame::Box);
        QPalette palette = m_bar->palette();
        palette.setColor(m_bar->backgroundRole(), Qt::darkCyan);
        m_bar->setPalette(palette);
        m_container->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_container.get()));
        m_split = std::make_unique<clsSplitControls>();
    }

    void layout_data()
    {
        QTest::addColumn<LayoutCase>("c");
        // Before the layout: stacked, the top 5000 and Text1 2985 tall; side by side, the left
        // 4000 and the right 5000 wide. Bar offsets (10, 20, -40, 50) throughout.
        using R = SplitRect;
        const R win{3130, 1200, 13140, 8845}, side{1000, 500, 12000, 9000};
        const R bar2{3130, 6200, 13140, 30}, bar1{5000, 500, 30, 9000};
        const std::optional<R> stays;
        const LayoutCase cases[] = {
            {"Text1 kept", 2, false, false, win, bar2, R{3130, 1200, 13140, 5830}, R{3130, 7060, 13140, 2985}, R{3140, 7030, 13100, 30}},
            {"top never under 600", 2, false, false, {3130, 1200, 13140, 3000}, bar2, R{3130, 1200, 13140, 600}, R{3130, 1830, 13140, 2370}, R{3140, 1800, 13100, 30}},
            {"after a drag: top at least 600", 2, false, true, win, {3130, 1250, 13140, 30}, R{3130, 1200, 13140, 600}, R{3130, 1830, 13140, 8215}, R{3140, 1800, 13100, 30}},
            {"top kept", 2, true, false, win, bar2, R{3130, 1200, 13140, 5000}, R{3130, 6230, 13140, 3815}, R{3140, 6200, 13100, 30}},
            {"top kept, bottom never under 600", 2, true, false, {3130, 1200, 13140, 5345}, bar2, R{3130, 1200, 13140, 4715}, R{3130, 5945, 13140, 600}, R{3140, 5915, 13100, 30}},
            {"refused top: the bar goes by the old top", 2, true, true, win, {3130, 1100, 13140, 30}, stays, R{3130, 1130, 13140, 8915}, R{3140, 6200, 13100, 30}},
            {"refused bottom", 2, false, false, {3130, 1200, 13140, 500}, bar2, R{3130, 1200, 13140, 600}, stays, R{3140, 1800, 13100, 30}},
            {"left kept", 1, true, false, side, bar1, R{1000, 500, 4000, 9000}, R{5030, 500, 7970, 9000}, R{5000, 520, 30, 9050}},
            {"left kept, right never under 600", 1, true, false, {1000, 500, 4000, 9000}, bar1, R{1000, 500, 3370, 9000}, R{4400, 500, 600, 9000}, R{4370, 520, 30, 9050}},
            {"right kept", 1, false, false, side, bar1, R{1000, 500, 6970, 9000}, R{8000, 500, 5000, 9000}, R{7970, 520, 30, 9050}},
            {"right kept, after a drag: left at least 600", 1, false, true, side, {1300, 500, 30, 9000}, R{1000, 500, 600, 9000}, R{1630, 500, 11370, 9000}, R{1600, 520, 30, 9050}},
            {"other style: nothing placed", 5, true, true, win, bar2, stays, stays, stays},
        };
        for (const LayoutCase &c : cases)
            QTest::newRow(c.name) << c;
    }

    void layout()
    {
        QFETCH(LayoutCase, c);
        SplitSettings settings;
        settings.style = c.style;
        settings.leftFix = settings.topFix = c.fix;
        settings.bound = c.bound;
        settings.spOfLeft = 10;
        settings.spOfTop = 20;
        settings.spOfWidth = -40;
        settings.spOfHeight = 50;
        const SplitPlaces now = c.style == 1
            ? SplitPlaces{{1000, 500, 4000, 9000}, {0, 0, 5000, 9000}, c.bar}
            : SplitPlaces{{3130, 1200, 13140, 5000}, {3130, 6230, 13140, 2985}, c.bar};

        const SplitPlan plan = planSplitLayout(settings, now, c.refToBar);
        QCOMPARE(toQ(plan.first), toQ(c.first));
        QCOMPARE(toQ(plan.second), toQ(c.second));
        QCOMPARE(toQ(plan.bar), toQ(c.wantBar));
        QVERIFY(plan.showFirst && plan.showSecond && plan.showBar);
    }

    void dragStep_data()
    {
        QTest::addColumn<DragCase>("c");
        // Bound (1000, 1000, 12000, 9000); zones 0.15: y < 1350 or > 7650, x < 1800 or > 10200.
        using K = SplitDragStep::Kind;
        const DragCase cases[] = {
            {"side: stops at L + 600", 1, false, false, -4500, 4000, {K::Move, 1600}},
            {"side: stops at L + W - 630", 1, false, false, 8000, 4000, {K::Move, 12370}},
            {"zones need AllowChangeDirect", 1, false, false, 0, 100, {K::Move, 5000}},
            {"top zone turns and swaps", 1, true, false, 0, 100, {K::Turn, 100, 2, true}},
            {"bottom zone turns", 1, true, false, 0, 8000, {K::Turn, 8000, 2, false}},
            {"turned already", 1, true, true, 0, 100, {}},
            {"left zone turns and swaps", 2, true, false, 100, 0, {K::Turn, 100, 1, true}},
            {"right zone turns", 2, true, false, 11000, 0, {K::Turn, 11000, 1, false}},
            {"out of the zones after a turn", 2, true, true, 5000, 0, {K::Move, 4000}},
            {"other style", 3, true, false, 100, 100, {}},
        };
        for (const DragCase &c : cases)
            QTest::newRow(c.name) << c;
    }

    void dragStep()
    {
        QFETCH(DragCase, c);
        SplitSettings settings;
        settings.style = c.style;
        settings.allowChangeDirect = c.allowTurn;
        settings.bound = {1000, 1000, 12000, 9000};
        const SplitRect bar = c.style == 1 ? SplitRect{5000, 1000, 30, 9000} : SplitRect{1000, 4000, 12000, 30};

        const SplitDragStep step = planSplitDrag(settings, bar, c.x, c.y, c.dirChanged);
        QCOMPARE(int(step.kind), int(c.want.kind));
        QCOMPARE(step.position, c.want.position);
        QCOMPARE(step.newStyle, c.want.newStyle);
        QCOMPARE(step.swapPending, c.want.swapPending);
    }

    void chDirtAngPort()
    {
        // Mirrored above one half, ignored outside (0, 1), else taken.
        const std::pair<float, float> cases[] = {{0.8f, 0.2f}, {1.f, 0.2f}, {0.f, 0.2f}, {-0.2f, 0.2f},
                                                 {std::nanf(""), 0.2f}, {0.5f, 0.5f}, {0.3f, 0.3f}};
        for (const auto &[value, stored] : cases) {
            m_split->setChDirtAngPort(value);
            QCOMPARE(m_split->ChDirtAngPort(), stored);
        }
    }

    void windowExampleOnWidgets()
    {
        m_bottom->setGeometry(0, 0, 100, 199);  // 2985 twips
        m_split->setStyle(2);
        m_split->setTopFix(false);
        m_split->AssociateControls(m_top, m_bottom, m_bar);
        m_split->SetBoundRect(3130, 1200, 13140, 8845);
        m_split->ResizeControl(false);

        // Edges rounded one by one: 3130 / 15 = 208.7, (3130 + 13140) / 15 = 1084.7, and so on.
        QCOMPARE(m_top->geometry(), QRect(209, 80, 876, 389));
        QCOMPARE(m_bar->geometry(), QRect(209, 469, 876, 2));
        QCOMPARE(m_bottom->geometry(), QRect(209, 471, 876, 199));
        QCOMPARE(m_bar->frameShape(), QFrame::NoFrame);
        QCOMPARE(m_bar->cursor().shape(), Qt::SizeVerCursor);
    }

    void keptHeightStaysExactInTwips()
    {
        m_bottom->setGeometry(0, 0, 800, 200);
        m_split->setStyle(2);
        m_split->setTopFix(false);
        m_split->AssociateControls(m_top, m_bottom, m_bar);
        // The top is held at 600, so Text1 gets 3610 - 630 = 2980 twips, 198.7 pixels shown as 199.
        m_split->SetBoundRect(0, 0, 12000, 3610);
        m_split->ResizeControl(false);

        // 9018 - 2980 - 30 = 6008 twips put the bar on pixel 401; the rounded 199 pixels read
        // back as 2985 twips would put it on pixel 400.
        m_split->SetBoundRect(0, 0, 12000, 9018);
        m_split->ResizeControl(false);
        QCOMPARE(m_bar->y(), 401);

        // Once someone else sizes Text1 in pixels, its pixels count.
        m_bottom->setGeometry(0, 0, 800, 100);
        m_split->ResizeControl(false);
        QCOMPARE(m_bottom->geometry(), QRect(0, 501, 800, 100));
    }

    void dragOnWidgets_data()
    {
        QTest::addColumn<bool>("pixels");
        QTest::addColumn<int>("pointerY");
        QTest::addColumn<int>("barY");
        for (const bool pixels : {false, true}) {
            const char *unit = pixels ? "pixels" : "twips";
            QTest::addRow("%s: free", unit) << pixels << 300 << 300;
            QTest::addRow("%s: up, stops at T + minimum", unit) << pixels << 10 << 40;
            QTest::addRow("%s: down, stops at T + H - bar - minimum", unit) << pixels << 590 << 558;
        }
    }

    void dragOnWidgets()
    {
        QFETCH(int, pointerY);
        QFETCH(int, barY);
        QFETCH(bool, pixels);
        layOutLikeTheWindow(pixels);
        QCOMPARE(m_bar->geometry(), QRect(0, 398, 800, 2));

        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(400, 1));
        QCOMPARE(barColor(m_bar), m_split->MovingColor());
        QCOMPARE(QWidget::mouseGrabber(), m_bar);
        dragTo(m_bar, {400, pointerY});
        QCOMPARE(m_bar->geometry(), QRect(0, barY, 800, 2));
        QCOMPARE(m_top->height(), 398);  // the controls wait for the release

        releaseAt(m_bar, {400, pointerY});
        QCOMPARE(barColor(m_bar), QColor(Qt::darkCyan));
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(m_top->geometry(), QRect(0, 0, 800, barY));
        QCOMPARE(m_bottom->geometry(), QRect(0, barY + 2, 800, 598 - barY));

        // The drag also set the height Text1 keeps from now on.
        m_split->SetBoundRect(0, 0, 800 * (pixels ? 1 : 15), 700 * (pixels ? 1 : 15));
        m_split->ResizeControl(false);
        QCOMPARE(m_bottom->height(), 598 - barY);
        QCOMPARE(m_top->height(), barY + 100);
    }

    void rightButtonStartsNoDrag()
    {
        layOutLikeTheWindow();
        QTest::mousePress(m_bar, Qt::RightButton, {}, QPoint(400, 1));
        dragTo(m_bar, {400, 300}, Qt::LeftButton);
        QTest::mouseRelease(m_bar, Qt::RightButton, {}, QPoint(400, 1));
        QCOMPARE(m_bar->geometry(), QRect(0, 398, 800, 2));
        QCOMPARE(barColor(m_bar), QColor(Qt::darkCyan));
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
    }

    void cancelMoveKeepsTheDragGoing()
    {
        layOutLikeTheWindow();
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(400, 1));
        dragTo(m_bar, {400, 300});
        m_split->CancelMove();
        QCOMPARE(m_bar->geometry(), QRect(0, 398, 800, 2));
        QCOMPARE(barColor(m_bar), QColor(Qt::darkCyan));

        dragTo(m_bar, {400, 250});
        releaseAt(m_bar, {400, 250});
        QCOMPARE(m_top->height(), 250);
    }

    void turningTheBarSwapsOnlyFromTheLeadingZone()
    {
        m_top->setGeometry(0, 0, 400, 600);
        m_split->setAllowChangeDirect(true);
        m_split->AssociateControls(m_top, m_bottom, m_bar);
        m_split->SetBoundRect(0, 0, 12000, 9000);
        m_split->ResizeControl(false);
        QCOMPARE(m_bar->geometry(), QRect(400, 0, 2, 600));

        // Into the top zone (y < 0.15 * 600 pixels): the bar lies down at once.
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(1, 300));
        dragTo(m_bar, {401, 30});
        QCOMPARE(m_split->Style(), std::int16_t(2));
        QCOMPARE(m_bar->geometry(), QRect(0, 30, 800, 2));
        QCOMPARE(m_bar->cursor().shape(), Qt::SizeVerCursor);
        releaseAt(m_bar, {401, 30});
        QVERIFY(m_split->ControlSwaped());
        QCOMPARE(m_split->AddrCtrl1(), m_bottom);
        QCOMPARE(m_bottom->geometry(), QRect(0, 0, 800, 40));
        QCOMPARE(m_top->geometry(), QRect(0, 42, 800, 558));

        // Into the right zone: upright again, no swap.
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(400, 1));
        dragTo(m_bar, {790, 41});
        releaseAt(m_bar, {790, 41});
        QCOMPARE(m_split->Style(), std::int16_t(1));
        QVERIFY(m_split->ControlSwaped());
        QCOMPARE(m_bottom->geometry(), QRect(0, 0, 758, 600));
        QCOMPARE(m_top->geometry(), QRect(760, 0, 40, 600));
    }

    void visibleStyle()
    {
        struct { std::int16_t style; bool top, bottom, bar; } const cases[] = {
            {1, false, true, false}, {2, true, false, false}, {3, false, false, false}, {0, true, true, true}};
        layOutLikeTheWindow();
        for (const auto &c : cases) {
            m_split->setVisibleStyle(3);
            m_split->setVisibleStyle(c.style);
            QCOMPARE(m_top->isVisible(), c.top);
            QCOMPARE(m_bottom->isVisible(), c.bottom);
            QCOMPARE(m_bar->isVisible(), c.bar);
            // A control shown alone fills the rectangle.
            if (c.top != c.bottom)
                QCOMPARE((c.top ? m_top : m_bottom)->geometry(), QRect(0, 0, 800, 600));
        }
    }

    void destroyedControlsAreLeftAlone()
    {
        layOutLikeTheWindow();
        delete m_bottom;
        QCOMPARE(m_split->AddrCtrl2(), nullptr);
        m_split->SetBoundRect(0, 0, 9000, 6000);
        m_split->ResizeControl(false);
        m_split->setVisibleStyle(2);
        QCOMPARE(m_top->geometry(), QRect(0, 0, 800, 398));

        // The bar still follows a drag, but the release lays nothing out.
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(400, 1));
        dragTo(m_bar, {400, 200});
        releaseAt(m_bar, {400, 200});
        m_split->CancelMove();
        QCOMPARE(m_top->geometry(), QRect(0, 0, 800, 398));

        // Going away mid-drag gives the mouse back and detaches from the bar.
        m_split.reset();
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QTest::mousePress(m_bar, Qt::LeftButton, {}, QPoint(400, 1));
        QTest::mouseRelease(m_bar, Qt::LeftButton, {}, QPoint(400, 1));

        clsSplitControls orphan;
        orphan.AssociateControls(m_top, nullptr, m_bar);
        delete m_bar;
        orphan.HandleSplitMouseDown(1, 0, 0, 0);
        orphan.MoveSplitControl(100);
        orphan.ResizeControl(true);
        QCOMPARE(orphan.SplitControl(), nullptr);
    }
};

QTEST_MAIN(SplitControlsTest)
#include "split_controls_test.moc"
