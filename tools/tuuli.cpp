// tuuli: the tools around the demo.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/cpu/cpu.h"
#include "tools/command.h"

namespace tools {

namespace {

std::vector<std::pair<int, std::function<void(CLI::App&)>>>& registry() {
  static std::vector<std::pair<int, std::function<void(CLI::App&)>>> commands;
  return commands;
}

int exit_code = 0;

// What a command line's user expects of a usage error (sysexits' EX_USAGE is
// 64, but 2 is what getopt programs and the shells' builtins return).
constexpr int kUsageError = 2;

// Set by tools/CMakeLists.txt from the project's version.
#ifndef TUULI_VERSION
#error "TUULI_VERSION must be the project's version"
#endif

// "tuuli media": what the user typed to reach `command`.
std::string command_path(const CLI::App* command) {
  std::string path = command->get_name();
  for (const CLI::App* p = command->get_parent(); p != nullptr; p = p->get_parent()) {
    path = p->get_name() + " " + path;
  }
  return path;
}

// The innermost subcommand the parser had reached when it gave up.
const CLI::App* innermost(const CLI::App& app) {
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return at;
}

// CLI11 reports an unknown command word as "A subcommand is required", which
// names neither the word nor the choices; everything else it says names the
// option at fault and is kept, prefixed with the command it belongs to.
std::string usage_message(const CLI::App& app, const CLI::ParseError& e) {
  const CLI::App* at = innermost(app);
  std::string message = e.what();
  if (at->get_require_subcommand_min() > 0 && at->get_subcommands().empty()) {
    std::string names;
    for (const CLI::App* sub : at->get_subcommands([](const CLI::App*) { return true; })) {
      names += (names.empty() ? "" : ", ") + sub->get_name();
    }
    std::vector<std::string> extra = app.remaining(true);
    if (extra.empty()) {
      message = "a command is needed, one of: " + names;
    } else {
      const char* what = extra.front().starts_with("-") ? "unknown option" : "unknown command";
      message = std::string(what) + " '" + extra.front() + "' (commands: " + names + ")";
    }
  }
  return command_path(at) + ": " + message + "\nRun '" + command_path(at) + " --help' for more.\n";
}

}  // namespace

bool register_command(int order, std::function<void(CLI::App&)> add) {
  registry().emplace_back(order, std::move(add));
  return true;
}

void set_exit_code(int code) { exit_code = code; }

}  // namespace tools

int main(int argc, char** argv) {
  // A bad TUULI_SIMD or TUULI_THREADS ends the program here, before any
  // work starts.
  cpu::simd_ceiling();
  cpu::drawing_threads();
  CLI::App app{"tuuli: tools for the tuulikannel demo (capture, clips, meshes, media, play)",
               "tuuli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("tuuli ") + TUULI_VERSION,
                       "Print the version and exit");
  auto commands = tools::registry();
  std::stable_sort(commands.begin(), commands.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, add] : commands) add(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end the parse through an exception too, with 0.
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fputs(tools::usage_message(app, e).c_str(), stderr);
    return tools::kUsageError;
  } catch (const std::exception& e) {
    // A command's own failure that its callback did not turn into a message.
    std::fprintf(stderr, "tuuli: %s\n", e.what());
    return 1;
  }
  return tools::exit_code;
}
