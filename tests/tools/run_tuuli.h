// Runs the build's tuuli as a user runs it, from a shell.
#pragma once

#include <string>

namespace tools_test {

struct Result {
  int exit_code;       // -1 when the program did not exit normally
  std::string output;  // standard output and standard error together
};

// `arguments` go through the shell as they are.
Result run_tuuli(const std::string& arguments);

}  // namespace tools_test
