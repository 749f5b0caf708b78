#include "tests/tools/run_tuuli.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace tools_test {

Result run_tuuli(const std::string& arguments) {
  const char* build = std::getenv("TUULI_BUILD_DIR");
  std::string command = std::string(build ? build : "..") + "/tuuli " + arguments + " 2>&1";
  Result r{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
  int status = pclose(pipe);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace tools_test
