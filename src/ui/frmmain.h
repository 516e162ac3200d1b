#pragma once

// Frmmain: the program's only window. It owns every control and the form-level state; its
// handlers read the controls, call the capture engine and write the results back.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>

#include "capture/capture_session.h"
#include "capture/capture_settings.h"
#include "capture/next_page.h"

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
class WebBrowser;
}

namespace tabvoro::ui {

class MouseLabel;
class clsSplitControls;

struct FrmmainOptions {
    // The folder the program runs from, ending in "/"; empty: the executable's folder.
    QString programFolder;
    // Open the start page (index.htm beside the program) when the window is created.
    bool openStartPage = true;
    // The output folder, ending in "/"; empty: "download/" in the program folder.
    QString outputFolder;
};

class Frmmain : public QMainWindow {
    Q_OBJECT
public:
    explicit Frmmain(const FrmmainOptions &options = {}, QWidget *parent = nullptr);
    ~Frmmain() override;

    // Works out the output file's name from the address box and the format box.
    void webcbnm();

    // The capture of the page shown: find the matching tables, keep the capture unless it
    // repeats the previous one, save it and report it.
    void CaptureTable();
    void ShowStatus(int index, const QString &text);

    // Ends a run: disarms it, restores the button and removes blank lines from the output file.
    void EndRun();
    bool CaptureOnLoad() const { return m_captureOnLoad; }

    void OpenAddress(const QString &address);
    void ResetTableChoice();
    void RememberAddress(const QString &address);

    QString ProgramFolder() const { return m_programFolder; }
    QString outputFolder() const { return m_outputFolder; }
    QString OutputPath() const;
    // Names the output file; `exact`: the file keeps this name whatever the format.
    void setOutputPath(const QString &path, bool exact);
    const capture::CaptureSession &captureSession() const { return m_session; }
    // Whether the last kept capture reached its file; the command line reports a failure.
    bool lastSaveFailed() const { return m_lastSaveFailed; }
    QString lastSaveError() const { return m_lastSaveError; }

    browser::WebBrowser *webBrowser() const { return WebBrowser1; }

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
    void Form_Resize();
    void Form_MouseMove();
    void layoutListColumn(bool withUrlList);
    int dpi() const;
    void place(QWidget *widget, double left, double top, double width, double height);

    // capture (frmmain_capture.cpp)
    capture::CaptureSettings readCaptureSettings() const;
    void setText1(const QString &text);
    void Labgjz_MouseUp();
    void Labgjz_MouseMove();
    void CheckBt_Click();
    void CheckLj_Click();
    void CheckBx_LostFocus();

    // capture runs (frmmain_run.cpp)
    void Command1_Click();
    void Timer1_Timer();
    void WebBrowser1_DocumentComplete(const QUrl &url);
    void OpenNextPage();
    void carryOut(const capture::NextPageStep &step);
    bool pagingHolds(capture::PagingCheck check) const;
    // Lets pending events run once, as the run does before each next-page step.
    void yieldOnce();
    bool busy() const { return m_capturing || m_stepping; }
    void keywordBoxDrop(QLineEdit *box, class QDropEvent *event);

    // capture test and table choice (frmmain_tables.cpp)
    void connectTableHandlers();

    // URL list and address sources (frmmain_urllist.cpp)
    void connectUrlListHandlers();

    // collected files (frmmain_files.cpp)
    void connectFileHandlers();
    void refreshFileList();

    // text find and caret position (frmmain_find.cpp)
    void connectFindHandlers();

    // address entry (frmmain_address.cpp)
    void Txturl_KeyPress(int keyAscii);

    // browser events (frmmain_browser.cpp)
    void WebBrowser1_StatusTextChange(const QString &text);
    void WebBrowser1_ProgressChange(int progress, int maximum);
    void WebBrowser1_CommandStateChange(int command, bool enable);
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
    QCheckBox *CheckDs = nullptr;       // timed capture / capture after load
    QPushButton *Command2 = nullptr;    // capture test
    std::array<QRadioButton *, 4> Option1{};  // paging mode 0..3
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
    QString Timer1Tag;                  // download progress mark "progress/maximum"

    QMenu *mnurl = nullptr;
    QMenu *mnweb = nullptr;
    QMenu *mnfile = nullptr;
    std::array<QAction *, 4> menuurl{};
    std::array<QAction *, 7> mnieview{};
    std::array<QAction *, 8> menufile{};

private:
    QWidget *m_client = nullptr;
    std::unique_ptr<clsSplitControls> m_split;
    QString m_programFolder;
    QString m_outputFolder;
    FrmmainOptions m_options;
    capture::CaptureSession m_session;
    QString m_statusText;  // StatusText: the message last placed in a status label
    bool m_capturing = false;
    bool m_stepping = false;
    bool m_captureOnLoad = false;  // CaptureOnLoad: an after-load run is armed
    QString m_pageTurnText;        // PageTurnText: Text1 when the page number last advanced
    bool m_exactOutputPath = false;
    bool m_lastSaveFailed = false;
    QString m_lastSaveError;
    bool m_laidOut = false;
};

// The text Text1 holds when the window opens.
QString userGuide();

// Opened at start-up when no start page lies beside the program.
inline constexpr const char *kDefaultHomePage = "https://cn.bing.com/";

}  // namespace tabvoro::ui
