// Frmmain: construction, start-up and layout.

#include "ui/frmmain.h"

#include "ui/event_hook.h"
#include "ui/frmmain_run_controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>

#include "browser/web_browser.h"
#include "ui/caption_boxes.h"
#include "ui/cls_split_controls.h"
#include "ui/collected_files_panel.h"
#include "ui/list_extent.h"
#include "ui/mouse_label.h"
#include "ui/table_choice_panel.h"
#include "ui/url_list_panel.h"
#include "ui/twips.h"

namespace tabvoro::ui {

namespace {

// The client area when the window opens, and the smallest outer size, in twips.
constexpr double kClientWidth = 16290;
constexpr double kClientHeight = 10755;
constexpr double kMinOuterWidth = 14336;
constexpr double kMinOuterHeight = 8880;
// Where the lists, the page and the text box begin: below the four rows of options.
constexpr double kContentTop = 1560;
constexpr double kText1Height = 2985;

constexpr const char *kAddressTip =
    "地址栏下拉框中的地址列表，部分是你收藏在favorites.ini文件中的，部分可能是你目前已经打开的浏览器中打开的网址";

template <class T>
T *named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QString arrayName(const char *name, int index) { return QStringLiteral("%1(%2)").arg(name).arg(index); }

}  // namespace

Frmmain::Frmmain(const FrmmainOptions &options, QWidget *parent) : QMainWindow(parent), m_options(options)
{
    setObjectName("Frmmain");
    setWindowTitle(" Tabvoro V2.30 - ");
    createControls();
    createMenus();
    createJobMenu();
    setToolTips();
    connectHandlers();
    Form_Load();
}

Frmmain::~Frmmain()
{
    // The run reads the controls until it goes: it goes first.
    delete m_run;
    m_run = nullptr;
    // From here on no handler of the window may run: the controls outlive this destructor.
    for (const auto &[control, filter] : m_eventFilters)
        if (control && filter)
            control->removeEventFilter(filter);
    // The split controller holds the controls by identity only; it goes before them.
    m_split.reset();
}

void Frmmain::watchEvents(QObject *control, QObject *filter)
{
    control->installEventFilter(filter);
    m_eventFilters.emplace_back(control, filter);
}

int Frmmain::dpi() const { return logicalDpiY() > 0 ? logicalDpiY() : 96; }

void Frmmain::place(QWidget *widget, double left, double top, double width, double height)
{
    if (width <= 0 || height <= 0)
        return;  // a size the platform would refuse leaves the control as it was
    widget->setGeometry(twipsRect(left, top, width, height, dpi()));
}

void Frmmain::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName("client");
    m_client->setMouseTracking(true);
    watchEvents(m_client, this);
    setCentralWidget(m_client);
    QWidget *c = m_client;

    Label1 = named(new QLabel("请输入起始页网页地址：", c), "Label1");
    Combo1 = named(new QComboBox(c), "Combo1");
    Combo1->setEditable(false);
    Txturl = named(new QLineEdit(c), "Txturl");
    Txturl->setFont(QFont("宋体", 10.5));
    Command1 = named(new QPushButton("抓取表格(&Z)", c), "Command1");
    Labgjz = named(new MouseLabel("表格第一行前部分内容：", c), "Labgjz");
    Labgjz->setMouseTracking(true);
    txtGjz = named(new QLineEdit(c), "txtGjz");
    CheckKj = named(new QCheckBox("表格在第       框架中", c), "CheckKj");
    txtKj = named(new QLineEdit(c), "txtKj");
    CheckBt = named(new QCheckBox("包含标题行", c), "CheckBt");
    CheckLj = named(new QCheckBox("包含链接", c), "CheckLj");
    CheckBx = named(new QCheckBox("包含表格线(TXT/CSV)", c), "CheckBx");
    watchEvents(CheckBx, this);
    CheckDs = named(new QCheckBox("自动定时采集/网页加载完后采集", c), "CheckDs");
    Command2 = named(new QPushButton("抓取测试(&C)", c), "Command2");
    const char *optionCaptions[] = {"根据链接或按钮关键字打开下页：", "根据网址中的页数打开，从          页到           页",
                                    "根据网址列表打开下页", "自选页码选单到下页", "滚动到底部加载下页"};
    for (int i = 0; i < static_cast<int>(Option1.size()); ++i)
        Option1[i] = named(new QRadioButton(optionCaptions[i], c), arrayName("Option1", i));
    Option1[0]->setChecked(true);
    txtNp = named(new QLineEdit(c), "txtNp");
    txtYs = named(new QLineEdit(c), "txtYs");
    txtYw = named(new QLineEdit(c), "txtYw");
    Txtxd = named(new QLineEdit(c), "Txtxd");
    CheckQc = named(new QCheckBox("去除重复行", c), "CheckQc");

    List3 = named(new QListWidget(c), "List3");
    List3->setSelectionMode(QAbstractItemView::MultiSelection);
    List3->hide();
    List1 = named(new QListWidget(c), "List1");
    List2 = named(new QListWidget(c), "List2");
    List2->setSelectionMode(QAbstractItemView::MultiSelection);
    File1 = named(new QListWidget(c), "File1");

    WebBrowser1 = new browser::WebBrowser(c);
    named(WebBrowser1->widget(), "WebBrowser1");
    m_browser = m_options.browserEngine ? m_options.browserEngine : WebBrowser1;
    Frame1 = named(new QFrame(c), "Frame1");
    Text1 = named(new QPlainTextEdit(c), "Text1");
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setPlainText(userGuide());

    for (int i = 0; i < 4; ++i)
        Labar[i] = named(new MouseLabel(c), arrayName("Labar", i));
    Labar[0]->setText("欢迎使用本软件");

    createRun();

    // The fixed band along the top, in twips: left, top, width, height.
    struct Fixed {
        QWidget *widget;
        double left, top, width, height;
    };
    const Fixed fixed[] = {
        {Label1, 120, 120, 1980, 180},    {Combo1, 2160, 80, 12660, 300},   {Txturl, 2185, 105, 12345, 240},
        {Command1, 15000, 105, 1215, 420}, {Labgjz, 120, 480, 1980, 180},   {txtGjz, 2160, 460, 2445, 270},
        {CheckKj, 4725, 480, 2430, 225},  {txtKj, 5775, 465, 500, 270},     {CheckBt, 7245, 480, 1215, 225},
        {CheckLj, 8505, 480, 1140, 225},  {CheckBx, 9765, 480, 2100, 225},  {CheckDs, 11970, 480, 2970, 225},
        {Command2, 15000, 630, 1215, 375}, {Option1[0], 120, 840, 3015, 255}, {txtNp, 3150, 840, 1440, 270},
        {Option1[1], 4725, 840, 4965, 255}, {txtYs, 7245, 840, 690, 270},   {txtYw, 8505, 840, 795, 270},
        {Option1[2], 9765, 840, 2175, 255}, {Option1[3], 11970, 840, 1965, 255}, {Txtxd, 13965, 840, 900, 270},
        {Option1[4], 120, 1200, 3015, 255}, {CheckQc, 4725, 1200, 2430, 255},
    };
    for (const auto &f : fixed)
        place(f.widget, f.left, f.top, f.width, f.height);
    // Boxes drawn over the blanks of a caption must stay above it.
    for (QWidget *w : {static_cast<QWidget *>(Txturl), static_cast<QWidget *>(txtKj),
                       static_cast<QWidget *>(txtYs), static_cast<QWidget *>(txtYw)})
        w->raise();
    // Where the blanks fall depends on the caption's font: the boxes follow it, not fixed places.
    const std::pair<QAbstractButton *, std::vector<QWidget *>> blanks[] = {{CheckKj, {txtKj}},
                                                                          {Option1[1], {txtYs, txtYw}}};
    for (const auto &[caption, boxes] : blanks) {
        placeOverCaptionBlanks(*caption, boxes);
        watchEvents(caption, new EventHook(caption, [caption, boxes](QObject *, QEvent *event) {
                        if (movesCaptionBlanks(*event))
                            placeOverCaptionBlanks(*caption, boxes);
                        return false;
                    }));
    }
    place(Text1, 3130, kClientHeight - 350 - kText1Height, kClientWidth - 3150, kText1Height);
}

void Frmmain::createMenus()
{
    mnurl = menuBar()->addMenu("网址(&N)");
    mnurl->setObjectName("mnurl");
    const char *urlCaptions[] = {"本地导入(&O)", "从当前页提取(&B)", "删除选定行(&K)", "全部清空(&D)"};
    for (int i = 0; i < 4; ++i)
        menuurl[i] = named(mnurl->addAction(urlCaptions[i]), arrayName("menuurl", i));
    menuurl[0]->setShortcut(QKeySequence("Ctrl+O"));

    mnweb = menuBar()->addMenu("浏览(&E)");
    mnweb->setObjectName("mnweb");
    const char *webCaptions[] = {"前进(&B)", "后退(&F)", "停止(&T)", "刷新(&N)", "查找(&Z)", "-", "Internet选项(&O)"};
    for (int i = 0; i < 7; ++i) {
        mnieview[i] = i == 5 ? mnweb->addSeparator() : mnweb->addAction(webCaptions[i]);
        mnieview[i]->setObjectName(arrayName("mnieview", i));
        connect(mnieview[i], &QAction::triggered, this, [this, i] { mnieview_Click(i); });
    }
    mnieview[4]->setShortcut(QKeySequence("Ctrl+F"));
    mnieview[0]->setEnabled(false);
    mnieview[1]->setEnabled(false);

    mnfile = menuBar()->addMenu("文件(&F)");
    mnfile->setObjectName("mnfile");
    const char *fileCaptions[] = {"预览(&P)", "用默认程序打开(&M)", "打开文件夹(&F)", "-",
                                  "文件改名(&N)...", "文件删除(&D)...", "删除所有包含某字串的行(&Z)", "刷新文件夹(&R)",
                                  "导出为Excel文件(&X)"};
    for (int i = 0; i < static_cast<int>(menufile.size()); ++i) {
        menufile[i] = i == 3 ? mnfile->addSeparator() : mnfile->addAction(fileCaptions[i]);
        menufile[i]->setObjectName(arrayName("menufile", i));
    }
    menufile[1]->setShortcut(QKeySequence(Qt::Key_F4));
    menufile[2]->setShortcut(QKeySequence(Qt::Key_F5));
    menufile[5]->setShortcut(QKeySequence(Qt::Key_F6));
}

void Frmmain::setToolTips()
{
    Txturl->setToolTip(kAddressTip);
    Combo1->setToolTip(kAddressTip);
    Command1->setToolTip("推荐按键盘上的快捷键ALT+Z开始或停止采集");
    Command2->setToolTip("熟练使用本软件后，抓取测试也可以不用，直接输入参数进行表格的抓取");
    Labgjz->setToolTip("点击切换表格关键词识别方式");
    txtGjz->setToolTip("表格关键字，可以是表格标题行中的第一格或前几格内容，也可以是其它行其它格中的文字，但必须是当前页面其它表格中没有的文字");
    CheckKj->setToolTip("选中此选项可提取位于框架网页中的表格，右侧的序号是从0开始的，如果表格在第2个框架中，就输入序数1");
    CheckBt->setToolTip("如果包含表头行，则采集的数据包含“表格第一行前部分内容”输入框中的文字行，否则将跳过包含此文字的行");
    CheckLj->setToolTip("选中此选项后可将单元格内的链接提取出来另置一列");
    CheckBx->setToolTip("选择包含表格线选项采集后保存的文件为TXT格式，否则为EXCEL可以打开的CSV格式");
    CheckDs->setToolTip("在连续采集时，此选项是确定定时采集还是等待网页加载结束后再采集");
    Option1[0]->setToolTip("适用于有下页链接的网页");
    Option1[1]->setToolTip("选中此选项连续采集的话，要在打开开始网页后修改地址中的页码为(*)再连续抓取");
    Option1[2]->setToolTip("适用于无下页链接、网址中不带页码、无页码下拉选择列表且每页地址都不同的网页");
    Option1[3]->setToolTip("适用于有页码下拉选择列表的网页");
    Option1[4]->setToolTip("适用于向下滚动时自动加载更多内容的网页");
    CheckQc->setToolTip("同一次采集中内容完全相同的行只保存一次");
    txtNp->setToolTip("在此拖入下一页链接或按钮名称，大部分网页都是“下一页”，如果是图片按钮的，请输入图片名称");
    txtYs->setToolTip("网址中起码页页码");
    txtYw->setToolTip("网址中终止页页码");
    Txtxd->setToolTip("请从网页源码中查找此页码下拉选单名称再输入此处");
    List1->setToolTip("本处列出当前网页中的所有表格,点击右键可清空此列表和下面的字段列表");
    List2->setToolTip("本处列出指定表格的所有列，鼠标右键点击字段名可进行修改");
    File1->setToolTip("已采集的文件列表，左键点击将在右侧编辑框中预览选定的文件，右键点击则弹出快捷菜单，提示：如果文件大于64KB，右侧文本框将显示不完整");
    Labar[0]->setToolTip(QString::number(Timer1->interval()));
    Labar[1]->setToolTip("点击这里可查找编辑框内容");
    Labar[2]->setToolTip("点击这里可查找下一个编辑框中要查找的内容");
}

void Frmmain::connectHandlers()
{
    connect(Command1, &QPushButton::clicked, this, &Frmmain::Command1_Click);
    watchEvents(txtNp, this);
    watchEvents(txtGjz, this);
    connect(Labgjz, &MouseLabel::mouseReleased, this, &Frmmain::Labgjz_MouseUp);
    connect(Labgjz, &MouseLabel::mouseMoved, this, &Frmmain::Labgjz_MouseMove);
    connect(CheckBt, &QCheckBox::clicked, this, &Frmmain::CheckBt_Click);
    connect(CheckLj, &QCheckBox::clicked, this, &Frmmain::CheckLj_Click);

    using browser::BrowserEngine;
    connect(m_browser, &BrowserEngine::StatusTextChange, this, &Frmmain::WebBrowser1_StatusTextChange);
    connect(m_browser, &BrowserEngine::ProgressChange, this, &Frmmain::WebBrowser1_ProgressChange);
    // "前进" and "后退" follow the history.
    connect(m_browser, &BrowserEngine::forwardEnabledChanged, mnieview[0], &QAction::setEnabled);
    connect(m_browser, &BrowserEngine::backEnabledChanged, mnieview[1], &QAction::setEnabled);
    connect(m_browser, &BrowserEngine::TitleChange, this, &Frmmain::WebBrowser1_TitleChange);
    connect(WebBrowser1, &browser::WebBrowser::LostFocus, this, &Frmmain::WebBrowser1_LostFocus);

    createPanels();
    connectFindHandlers();
}

PanelHost Frmmain::panelHost()
{
    PanelHost host;
    host.window = this;
    host.browser = m_browser;
    host.setText1 = [this](const QString &text) { setText1(text); };
    host.showStatus = [this](int index, const QString &text) { ShowStatus(index, text); };
    host.captureSettings = [this] { return readCaptureSettings(); };
    host.openAddress = [this](const QString &address) { OpenAddress(address); };
    host.rememberAddress = [this](const QString &address) { RememberAddress(address); };
    host.outputFolder = [this] { return m_outputFolder; };
    host.codePage = [this] { return codePage(); };
    // Read at each use: a test puts its own in place once the window is there.
    host.openUrl = [this](const QUrl &url) { return openUrl(url); };
    return host;
}

void Frmmain::createPanels()
{
    openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_tableChoice = std::make_unique<TableChoicePanel>(
        TableChoicePanel::Controls{Command2, List1, List2, CheckKj, txtKj, txtGjz, txtNp}, panelHost());
    m_urlList = std::make_unique<UrlListPanel>(UrlListPanel::Controls{Txturl, Combo1, List3, mnurl, menuurl}, panelHost(),
                                               m_list3NewIndex);
    m_collectedFiles = std::make_unique<CollectedFilesPanel>(CollectedFilesPanel::Controls{File1, mnfile, menufile},
                                                             panelHost());
}

void Frmmain::ResetTableChoice() { m_tableChoice->ResetTableChoice(); }

void Frmmain::refreshFileList() { m_collectedFiles->refreshFileList(); }

void Frmmain::FitListHorizontalExtent(QListWidget *list) { ui::FitListHorizontalExtent(list); }


void Frmmain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Frmmain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_laidOut) {
        m_laidOut = true;
        resize(twipsToPixels(kClientWidth, dpi()), twipsToPixels(kClientHeight, dpi()) + menuBar()->sizeHint().height());
        Form_Resize();
    }
}

void Frmmain::Form_Resize()
{
    const int minWidth = twipsToPixels(kMinOuterWidth, dpi());
    const int minHeight = twipsToPixels(kMinOuterHeight, dpi());
    if (minimumWidth() != minWidth || minimumHeight() != minHeight)
        setMinimumSize(minWidth, minHeight);
    if (frameGeometry().width() < minWidth || frameGeometry().height() < minHeight)
        resize(std::max(width(), minWidth), std::max(height(), minHeight));

    const double sw = pixelsToTwips(m_client->width(), dpi());
    const double sh = pixelsToTwips(m_client->height(), dpi());
    layoutListColumn(Option1[2]->isChecked());
    m_split->SetBoundRect(3130, kContentTop, sw - 3150, sh - kContentTop - 350);
    m_split->ResizeControl(false);

    const QRect text = Text1->geometry();
    const double rowTop = pixelsToTwips(text.y() + text.height(), dpi()) + 50;
    place(Labar[0], 20, rowTop, 3100, 300);
    place(Labar[1], 3150, rowTop, 2000, 300);
    place(Labar[2], 5200, rowTop, 2000, 300);
    place(Labar[3], 7245, rowTop, sw - 7100, 300);
}

void Frmmain::layoutListColumn(bool withUrlList)
{
    const double sh = pixelsToTwips(m_client->height(), dpi());
    const int parts = withUrlList ? 4 : 3;
    double top = kContentTop;
    auto stack = [&](QListWidget *list, double height) {
        place(list, 0, top, 3100, height);
        // The next list starts below the bottom the list actually took.
        top = pixelsToTwips(list->geometry().bottom() + 1, dpi()) + 50;
    };
    if (withUrlList) {
        stack(List3, (sh - kContentTop - 400) / parts);
        if (List3->isHidden())
            List3->show();
    } else if (!List3->isHidden()) {
        List3->hide();
    }
    stack(List1, (sh - kContentTop - 400) / parts);
    stack(List2, (sh - kContentTop - 400) / parts);
    stack(File1, (sh - kContentTop - 300) / parts);
}

bool Frmmain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::MouseMove)
        Form_MouseMove();
    else if (watched == CheckBx && leftForAnotherControl(event)) {
        // Each call moves the output file to the next number: only a move to another control
        // counts, not a message box, a menu or another window taking the focus.
        CheckBx_LostFocus();
    } else if (watched == txtNp || watched == txtGjz) {
        // A dropped text replaces the whole keyword, where a plain line edit would insert it.
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->mimeData()->hasText()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            watched == txtNp ? txtNp_OLEDragDrop(drop) : txtGjz_OLEDragDrop(drop);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Frmmain::Form_MouseMove()
{
    if (Labgjz->palette().color(QPalette::WindowText) == QColor(0, 0, 255)) {
        QPalette palette = Labgjz->palette();
        palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::ButtonText));
        Labgjz->setPalette(palette);
    }
    const bool urlPaging = Option1[2]->isChecked();
    if (urlPaging && List3->isHidden())
        layoutListColumn(true);
    else if (!List3->isHidden() && !urlPaging)
        layoutListColumn(false);
}

void Frmmain::ShowStatus(int index, const QString &text)
{
    if (index >= 0 && index < 4)
        Labar[index]->setText(text);
    if (index == 3)
        m_programStatusShown = true;
}

}  // namespace tabvoro::ui
