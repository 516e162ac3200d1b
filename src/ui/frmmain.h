#pragma once

// Frmmain: the program's only window. It owns every control and the form-level state; its
// handlers read the controls, call the capture engine and write the results back.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <expected>
#include <optional>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "capture/capture_session.h"
#include "capture/capture_settings.h"
#include "capture/job/job.h"
#include "run/capture_run.h"
#include "run/run_controls.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QUrl;

namespace tabvoro::browser {
class BrowserEngine;
class WebBrowser;
}

namespace tabvoro::ui {

class CollectedFilesPanel;
class MouseLabel;
class TableChoicePanel;
class UrlListPanel;
class clsSplitControls;
struct PanelHost;

struct FrmmainOptions {
    // The folder the program runs from, ending in "/"; empty: the executable's folder.
    QString programFolder;
    // Open the start page (index.htm beside the program) when the window is created.
    bool openStartPage = true;
    // The output folder, ending in "/"; empty: "download/" in the program folder.
    QString outputFolder;
    // Survey the pages of a browser already open at start-up (ReportOpenBrowserWindows).
    bool reportOpenBrowserWindows = true;
    // That browser's DevTools address; empty: TABVORO_DEVTOOLS, else http://127.0.0.1:9222.
    QString devToolsEndpoint;
    // The browser the window's pages are opened, read and paged in; null: the view's own. One
    // given (a Chromium without a window, for unattended runs) must outlive the window; the view
    // then stays in the window, blank.
    browser::BrowserEngine *browserEngine = nullptr;
    // The waits of the window's capture runs.
    run::RunTimings runTimings;
};

// The window reads a run's settings from its controls and shows what the run does; the run
// itself is a CaptureRun of its own.
class Frmmain : public QMainWindow {
    Q_OBJECT
public:
    explicit Frmmain(const FrmmainOptions &options = {}, QWidget *parent = nullptr);
    ~Frmmain() override;

    // Works out the output file's name from the address box and the format box.
    void webcbnm();

    // The capture of the page shown, as the run makes it: the matching tables, kept unless
    // they repeat the previous capture, saved and shown.
    run::CaptureRun::CaptureOutcome CaptureTable() { return m_run->CaptureTable(); }
    void ShowStatus(int index, const QString &text);
    // What the option controls hold now, as a capture reads them.
    capture::CaptureSettings readCaptureSettings() const;

    // The run the start button starts and stops.
    run::CaptureRun &captureRun() const { return *m_run; }
    bool running() const { return m_run->isRunning(); }

    void OpenAddress(const QString &address);
    void ResetTableChoice();
    void RememberAddress(const QString &address);

    QString ProgramFolder() const { return m_programFolder; }
    QString outputFolder() const { return m_outputFolder; }
    QString OutputPath() const;
    // Names the output file; `exact`: the file keeps this name whatever the format.
    void setOutputPath(const QString &path, bool exact);
    const capture::CaptureSession &captureSession() const { return m_run->session(); }
    // Whether the last kept capture reached its file; the command line reports a failure.
    bool lastSaveFailed() const { return m_lastSaveFailed; }
    QString lastSaveError() const { return m_lastSaveError; }

    browser::WebBrowser *webBrowser() const { return WebBrowser1; }
    // What the window opens, reads and pages its pages in: the view, or the browser of the
    // options. Only what is the view's alone (find, focus, layout) goes to WebBrowser1.
    browser::BrowserEngine *browserEngine() const { return m_browser; }

    // Saved jobs (frmmain_jobs.cpp). The job the controls hold now.
    capture::Job currentJob() const;
    // Sets the controls from a job as a user would, through their own handlers; starts nothing.
    void applyJob(const capture::Job &job);
    // The job file the window saved or opened, and its progress: from then on every kept
    // capture of a run is recorded beside it. Empty: no job, nothing is recorded.
    QString jobPath() const { return QString::fromStdString(m_run->jobPath()); }
    void setJobPath(const QString &path);
    void setCodePage(const QString &codePage) { m_codePage = codePage; }
    // Gets a resumed run ready: cuts what the progress does not record off the output file,
    // takes up its file, tally and repeat check, and sets the controls to where the run goes on.
    // The address to open next; empty when the job has nothing left to do (finished).
    std::expected<QString, QString> prepareResume();
    // Once the address of prepareResume() has loaded: starts the run as the button does.
    void startResumedRun();

signals:
    // A capture was kept and saved (or failed to save): its tally.
    void captureKept(const QString &status);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // construction (frmmain.cpp)
    void createControls();
    void createMenus();
    void setToolTips();
    void connectHandlers();
    void Form_Load();  // frmmain_startup.cpp
    struct StartUpReport {
        int windows = 0;  // open browser windows reported
        QString text;     // a block per window
    };
    StartUpReport ReportOpenBrowserWindows();
    void loadFavorites();
    void Form_Resize();
    void Form_MouseMove();
    void layoutListColumn(bool withUrlList);
    int dpi() const;
    void place(QWidget *widget, double left, double top, double width, double height);

    // capture (frmmain_capture.cpp)
    void setText1(const QString &text);
    // The text last given to Text1 in full, unless the box has been changed since.
    QString text1Text() const;
    void Labgjz_MouseUp();
    // The keyword mode, and the label's caption with it.
    void setKeywordMode(capture::KeywordMode mode);
    capture::KeywordMode m_keywordMode = capture::KeywordMode::FirstRowPrefix;
    void Labgjz_MouseMove();
    void CheckBt_Click();
    void CheckLj_Click();
    void CheckBx_LostFocus();

    // capture runs (frmmain_run.cpp): the button starts and stops the run; the window shows
    // what the run reports and answers what it asks.
    void createRun();
    void Command1_Click();
    void txtNp_OLEDragDrop(class QDropEvent *event);
    void txtGjz_OLEDragDrop(QDropEvent *event);
    void keywordBoxDrop(QLineEdit *box, QDropEvent *event);
    void showKeptCapture(const run::KeptCapture &kept);
    void showRunNotice(const QString &message, run::NoticeFocus focus);
    // What the run reads of the controls, and writes back of its steps.
    class ControlsForRun;
    std::unique_ptr<ControlsForRun> m_runControls;
    run::CaptureRun *m_run = nullptr;
    std::vector<std::string> urlListRows() const;
    // The code page the output is written in: the job's, else the system's.
    std::string codePage() const;

    // saved jobs (frmmain_jobs.cpp)
    void createJobMenu();
    void menujob_Click(int index);
    void saveJob();
    void openJob();
    void resumeJob();
    void updateResumeAction();
    QString m_codePage;                               // the job's code page; empty: the system's
    // The window runs in its view alone; a job opened and saved again keeps the engine it names
    // for the command line.
    capture::RunEngine m_jobEngine = capture::RunEngine::WebEngine;
    double m_jobSettleSeconds = capture::kDefaultSettleLimitMs / 1000.0;  // the job's settle limit
    QMetaObject::Connection m_resumeLoad;             // the wait for a resumed run's first page

    // The panels: the capture test and table choice, the URL list and address sources, the
    // collected files. Each owns its controls' handlers and state; the controls stay the
    // window's, placed by its layout.
    void createPanels();
    PanelHost panelHost();
    std::unique_ptr<TableChoicePanel> m_tableChoice;
    std::unique_ptr<UrlListPanel> m_urlList;
    std::unique_ptr<CollectedFilesPanel> m_collectedFiles;
    void refreshFileList();
    void FitListHorizontalExtent(QListWidget *list);
    // NewIndex of List3: the row it had added last, -1 after a removal. The URL list panel keeps
    // it; the job code sets it as it fills the list.
    int m_list3NewIndex = -1;
public:
    // Opens a file with its default program, or a folder in the file manager; replaceable, as
    // what an external program does cannot be watched.
    std::function<bool(const QUrl &)> openUrl;
private:

    // text find and caret position (frmmain_find.cpp)
    void connectFindHandlers();
    void Text1_MouseDown();
    void Labar_MouseDown(int index, Qt::MouseButton button);
    void findInText1(int index);
    QString m_findText;  // FindText: the string searched for
public:
    // Column and row of Text1's caret (the end of its selection), both from 1.
    std::pair<int, int> GetCaretRowColumn() const;
    QString FindText() const { return m_findText; }
private:

    // browser events (frmmain_browser.cpp)
    void WebBrowser1_StatusTextChange(const QString &text);
    void WebBrowser1_ProgressChange(int progress, int maximum);
    void WebBrowser1_TitleChange(const QString &text);
    void WebBrowser1_LostFocus();
    void mnieview_Click(int index);

public:
    // Controls, named as the window names them (each widget's objectName is its name).
    QLabel *Label1 = nullptr;
    QComboBox *Combo1 = nullptr;        // address drop-down
    QLineEdit *Txturl = nullptr;        // address box, over Combo1's edit area
    QPushButton *Command1 = nullptr;    // start/stop capture
    MouseLabel *Labgjz = nullptr;       // keyword mode, cycled by a click
    QLineEdit *txtGjz = nullptr;        // table keyword
    QCheckBox *CheckKj = nullptr;       // table is in a frame
    QLineEdit *txtKj = nullptr;         // frame number, from 0
    QCheckBox *CheckBt = nullptr;       // include the header row
    QCheckBox *CheckLj = nullptr;       // links instead of text
    QCheckBox *CheckBx = nullptr;       // ruled text output
    QCheckBox *CheckQc = nullptr;       // each row written once in a run
    QCheckBox *CheckDs = nullptr;       // timed capture / capture after load
    QPushButton *Command2 = nullptr;    // capture test
    std::array<QRadioButton *, 5> Option1{};  // paging mode 0..4
    QLineEdit *txtNp = nullptr;         // next-page keyword
    QLineEdit *txtYs = nullptr;         // page number now shown
    QLineEdit *txtYw = nullptr;         // last page number
    QLineEdit *Txtxd = nullptr;         // name of the page-number drop-down
    QListWidget *List3 = nullptr;       // URL list for paging by list
    QListWidget *List1 = nullptr;       // tables of the page
    QListWidget *List2 = nullptr;       // fields of the chosen table
    QListWidget *File1 = nullptr;       // output files
    browser::WebBrowser *WebBrowser1 = nullptr;
    QFrame *Frame1 = nullptr;           // split bar between the view and Text1
    QPlainTextEdit *Text1 = nullptr;
    std::array<MouseLabel *, 4> Labar{};  // status row
    QTimer *Timer1 = nullptr;           // tick of a timed run
    // Download progress mark: the browser's last progress and maximum; none before its first report.
    std::optional<std::pair<int, int>> Timer1Tag;

    QMenu *mnurl = nullptr;
    QMenu *mnweb = nullptr;
    QMenu *mnfile = nullptr;
    std::array<QAction *, 4> menuurl{};
    std::array<QAction *, 7> mnieview{};
    std::array<QAction *, 9> menufile{};
    QMenu *mnjob = nullptr;
    std::array<QAction *, 3> menujob{};  // save, open, resume a job

private:
    // Installs `filter` on `control` and keeps the pair, so that the window can take its
    // filters off before it goes: its controls still see events while they are destroyed, and
    // the filters' handlers belong to the window.
    void watchEvents(QObject *control, QObject *filter);

    QWidget *m_client = nullptr;
    std::vector<std::pair<QPointer<QObject>, QPointer<QObject>>> m_eventFilters;
    std::unique_ptr<clsSplitControls> m_split;
    QString m_programFolder;
    QString m_outputFolder;
    FrmmainOptions m_options;
    browser::BrowserEngine *m_browser = nullptr;  // browserEngine()
    QString m_statusText;  // StatusText: the message last placed in a status label
    // A message of the program's own reached Labar(3) since the browser's last status text: an
    // empty status report must not wipe it.
    bool m_programStatusShown = false;
    QString m_text1Full;           // the text last given to Text1, before the box's limit
    QString m_text1Shown;          // what of it the box shows
    bool m_lastSaveFailed = false;
    QString m_lastSaveError;
    bool m_laidOut = false;
};

// The most characters Text1 shows.
inline constexpr int kText1Capacity = 65536;

// The text Text1 holds when the window opens.
QString userGuide();

// Opened at start-up when no start page lies beside the program.
inline constexpr const char *kDefaultHomePage = "https://cn.bing.com/";

}  // namespace tabvoro::ui
