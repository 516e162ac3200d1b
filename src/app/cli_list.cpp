#include "cli_list.h"

#include <iostream>

#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"
#include "list_report.h"
#include "run_program.h"

namespace tabvoro::cli {

namespace {

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

}  // namespace

int runList(const std::vector<std::string> &args)
{
    const auto parsed = parseListArguments(args);
    if (!parsed)
        return fail(parsed.error());
    if (parsed->help) {
        std::cout << kListUsage;
        return 0;
    }
    // An address is opened in a browser, which is the program beside this one.
    if (isPageAddress(parsed->page)) {
        std::vector<std::string> handedOver{"list"};
        handedOver.insert(handedOver.end(), args.begin(), args.end());
        return startRunProgram(handedOver);
    }
    const auto document = capture::loadStaticDocument(parsed->page);
    if (!document)
        return fail("cannot read page " + parsed->page + ": " + document.error().message);
    std::cout << listReport(**document, parsed->inFrame, parsed->frameText) << '\n';
    return 0;
}

}  // namespace tabvoro::cli
