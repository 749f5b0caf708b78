// How a `tuuli` subcommand joins the program: each *_command.cpp registers
// itself at start-up, so adding a command touches no other file.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

namespace tools {

// `add` receives the top-level app and adds one subcommand to it; `order`
// sorts the subcommands in --help.
bool register_command(int order, std::function<void(CLI::App&)> add);

// The exit code a subcommand's callback leaves for main to return.
void set_exit_code(int code);

}  // namespace tools
