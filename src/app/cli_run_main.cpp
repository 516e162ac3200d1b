// tabvoro-run: `tabvoro-cli run`, a capture run without a window. Started by
// tabvoro-cli with the arguments that follow "run"; with "list" and those of `tabvoro-cli list`
// for the listing of an address; or with --version alone for the versions of the two browsers a
// run may drive (tabvoro-cli --version prints them).

#include <iostream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <QtWebEngineCore/qtwebenginecoreversion.h>

#include "browser/chromium_process.h"
#include "cli_list_live.h"
#include "cli_run.h"

namespace {

int printEngineVersions(int argc, char **argv)
{
    // The versions of the libraries and the program found now, not of those built against: the
    // system's Chromium is updated on its own.
    QCoreApplication app(argc, argv);
    std::cout << "webengine: Qt WebEngine " << QTWEBENGINECORE_VERSION_STR << ", Chromium " << qWebEngineChromiumVersion()
              << '\n';
    const QString chromium = tabvoro::browser::chromiumVersion();
    std::cout << "chromium: " << (chromium.isEmpty() ? std::string("not installed") : chromium.toStdString()) << '\n';
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args == std::vector<std::string>{"--version"})
        return printEngineVersions(argc, argv);
    if (!args.empty() && args.front() == "list")
        return tabvoro::cli::runLiveList(std::vector<std::string>(args.begin() + 1, args.end()), argc, argv);
    return tabvoro::cli::runPages(args, argc, argv);
}
