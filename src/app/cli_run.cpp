#include "cli_run.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "browser/web_browser.h"
#include "browser/web_engine_setup.h"
#include "cli_options.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::cli {

namespace {

constexpr int kLoadTimeoutMs = 120000;

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

QString qs(const std::string &text) { return QString::fromStdString(text); }

// Sets the window's controls as a user would from the capture options.
void applyOptions(ui::Frmmain &w, const CaptureOptions &options)
{
    const capture::CaptureSettings &s = options.settings;
    w.txtGjz->setText(qs(s.keyword));
    if (s.keywordMode)
        w.Labgjz->setText(capture::keywordModeCaption(*s.keywordMode));
    w.CheckKj->setChecked(s.inFrame);
    w.txtKj->setText(qs(s.frameText));
    w.CheckBt->setChecked(s.includeHeader);
    w.CheckLj->setChecked(s.includeLinks);
    w.txtNp->setText(qs(s.nextPageText));
    w.List2->clear();
    for (const auto &field : s.fields) {
        auto *item = new QListWidgetItem(qs(field.name), w.List2);
        item->setSelected(field.selected);
    }
}

// Waits for the main frame's document to complete at an address other than the blank page.
bool waitForPage(ui::Frmmain &w)
{
    QEventLoop loop;
    bool ok = false;
    QObject::connect(w.webBrowser(), &browser::WebBrowser::DocumentComplete, &loop,
                     [&](const QUrl &url, bool success) {
                         if (url.toString() == "about:blank")
                             return;
                         ok = success;
                         loop.quit();
                     });
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return ok;
}

}  // namespace

int runWindow(const std::vector<std::string> &args, int argc, char **argv)
{
    auto parsed = parseCaptureOptions(args);
    if (!parsed)
        return fail(parsed.error() + " (see tabvoro-cli run --help)");
    CaptureOptions &options = *parsed;
    if (options.help) {
        std::cout << kRunUsage;
        return 0;
    }
    if (options.pages.size() != 1)
        return fail("run takes exactly one URL");
    if (!options.encoding.empty())
        setenv("TABVORO_CODEPAGE", options.encoding.c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    browser::prepareWebEngine();
    QApplication app(argc, argv);
    ui::FrmmainOptions windowOptions;
    windowOptions.openStartPage = false;
    windowOptions.outputFolder = qs(options.outDir);
    ui::Frmmain window(windowOptions);

    const QString url = qs(options.pages.front());
    window.CheckBx->setChecked(options.settings.ruled);
    window.Txturl->setText(url);
    window.OpenAddress(url);
    window.RememberAddress(url);
    applyOptions(window, options);
    if (!options.output.empty())
        window.setOutputPath(qs(options.output), true);

    if (!waitForPage(window))
        return fail("cannot load " + options.pages.front());

    const auto before = window.captureSession().captureCount;
    window.Command1->click();
    if (window.captureSession().captureCount > before)
        std::cout << window.Labar[0]->text().toStdString() << '\n';
    if (window.lastSaveFailed())
        return fail("cannot write " + window.OutputPath().toStdString() + ": " + window.lastSaveError().toStdString());
    std::cout << window.OutputPath().toStdString() << '\n';
    return 0;
}

}  // namespace tabvoro::cli
