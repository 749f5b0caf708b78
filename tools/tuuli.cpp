// tuuli: the tools around the demo.
#include <algorithm>
#include <cstdio>
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

}  // namespace

bool register_command(int order, std::function<void(CLI::App&)> add) {
  registry().emplace_back(order, std::move(add));
  return true;
}

void set_exit_code(int code) { exit_code = code; }

}  // namespace tools

int main(int argc, char** argv) {
  // A bad TUULI_SIMD ends the program here, before any work starts.
  cpu::simd_ceiling();
  CLI::App app{"tuuli: tools for the tuulikannel demo (capture, clips, meshes, media, play)",
               "tuuli"};
  app.require_subcommand(1);
  auto commands = tools::registry();
  std::stable_sort(commands.begin(), commands.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [order, add] : commands) add(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return tools::exit_code;
}
