#pragma once

// The arguments of one command of `tabvoro-cli`, read with CLI11 in the program's own manner:
// options are "--name" alone or with one value ("--name VALUE", "--name=VALUE", which may be
// empty); every other argument, and everything after "--", is an operand (a page or an
// address). Each option's handler runs as the option is read, in the order given, so a later
// option overrides an earlier one.

#include <expected>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tabvoro::cli {

// Thrown by a handler that refuses its value; the message is the whole complaint.
struct ArgumentError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ArgumentFailure {
    std::string message;
    bool missingValue = false;  // the last argument was an option without its value
};

class CommandLine {
public:
    CommandLine();
    ~CommandLine();

    // "--name" alone; "--name=VALUE" is an unknown option.
    void flag(const std::string &name, std::function<void()> handler);
    // "--name VALUE": the next argument is the value whatever it holds, as it is for "--".
    void option(const std::string &name, std::function<void(const std::string &value)> handler);

    // The operands in the order given, or the first complaint.
    std::expected<std::vector<std::string>, ArgumentFailure> parse(const std::vector<std::string> &args);

private:
    std::unique_ptr<CLI::App> m_app;
};

}  // namespace tabvoro::cli
