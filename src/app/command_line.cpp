#include "command_line.h"

#include <CLI/CLI.hpp>

namespace tabvoro::cli {

namespace {

// CLI11 reads "--name=" as "--name" followed by its value in the next argument. A NUL, which no
// argument of a program can hold, keeps the empty value in its place; it is dropped again
// wherever an argument comes back out.
constexpr char kEmptyValue = '\0';

std::string restored(std::string arg)
{
    if (!arg.empty() && arg.back() == kEmptyValue)
        arg.pop_back();
    return arg;
}

}  // namespace

CommandLine::CommandLine()
    : m_app(std::make_unique<CLI::App>())
{
    // Help, its text and every message are the program's own; unknown arguments are sorted
    // into operands and unknown options after the parse.
    m_app->set_help_flag();
    m_app->allow_extras();
}

CommandLine::~CommandLine() = default;

void CommandLine::flag(const std::string &name, std::function<void()> handler)
{
    m_app->add_flag(name)->trigger_on_parse()->each([name, handler = std::move(handler)](const std::string &value) {
        // CLI11 hands a flag given alone "true", and a flag given "=VALUE" that value.
        if (value != "true")
            throw ArgumentError("unknown option " + name + "=" + restored(value));
        handler();
    });
}

void CommandLine::option(const std::string &name, std::function<void(const std::string &)> handler)
{
    m_app->add_option(name)->trigger_on_parse()->each(
        [handler = std::move(handler)](const std::string &value) { handler(restored(value)); });
}

std::expected<std::vector<std::string>, ArgumentFailure> CommandLine::parse(const std::vector<std::string> &args)
{
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    for (auto &arg : reversed)
        if (arg.starts_with("--") && arg.find('=') == arg.size() - 1)
            arg += kEmptyValue;
    try {
        m_app->parse(reversed);
    } catch (const ArgumentError &error) {
        return std::unexpected(ArgumentFailure{error.what()});
    } catch (const CLI::ArgumentMismatch &) {
        // Every option takes the next argument whatever it holds: only the last can lack one.
        return std::unexpected(ArgumentFailure{args.back() + " needs a value", true});
    }

    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (const auto &extra : m_app->remaining()) {
        const std::string arg = restored(extra);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.starts_with("--")) {
            return std::unexpected(ArgumentFailure{"unknown option " + arg});
        } else {
            operands.push_back(arg);
        }
    }
    return operands;
}

}  // namespace tabvoro::cli
