#include "tests/support/demo_child.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/bass/output.h"
#include "shell/shell.h"

namespace test_support {

namespace {

// Length-prefixed strings over the pipe: "<bytes>\n<text>".
void put(std::string& out, const std::string& text) {
  out += std::to_string(text.size());
  out += '\n';
  out += text;
}

bool get(const std::string& in, size_t& pos, std::string& text) {
  size_t nl = in.find('\n', pos);
  if (nl == std::string::npos) return false;
  size_t n = std::stoul(in.substr(pos, nl - pos));
  if (nl + 1 + n > in.size()) return false;
  text = in.substr(nl + 1, n);
  pos = nl + 1 + n;
  return true;
}

[[noreturn]] void child(const DemoRunOptions& options, int fd) {
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(120);
  std::vector<std::string> records;
  win32::HeadlessOptions headless = options.headless;
  auto record = options.record;
  headless.on_present = [&records, record](const win32::Frame& f, uint64_t n) {
    if (record) records.push_back(record(f, n));
  };
  win32::HeadlessBackend backend(headless);
  win32::use_backend(&backend);
  bass::use_output(bass::silent_output());
  if (options.before) options.before();
  int code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);

  std::string out;
  put(out, std::to_string(code));
  put(out, std::to_string(backend.presented()));
  put(out, std::to_string(backend.message_boxes().size()));
  for (const auto& b : backend.message_boxes()) {
    put(out, b.caption);
    put(out, b.text);
  }
  put(out, std::to_string(records.size()));
  for (const auto& r : records) put(out, r);
  put(out, options.after ? options.after() : "");
  size_t written = 0;
  while (written < out.size()) {
    ssize_t n = write(fd, out.data() + written, out.size() - written);
    if (n <= 0) _exit(121);
    written += static_cast<size_t>(n);
  }
  close(fd);
  _exit(0);
}

}  // namespace

DemoRun run_demo(const DemoRunOptions& options) {
  int fds[2];
  DemoRun run;
  if (pipe(fds) != 0) {
    run.died_how = "pipe failed";
    return run;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    alarm(static_cast<unsigned>(options.timeout_seconds));
    child(options, fds[1]);
  }
  close(fds[1]);
  std::string in;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) in.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ostringstream how;
    if (WIFSIGNALED(status)) {
      how << "killed by signal " << WTERMSIG(status) << " (" << strsignal(WTERMSIG(status)) << ")";
    } else {
      how << "exited with status " << WEXITSTATUS(status) << " outside the demo";
    }
    run.died_how = how.str();
    return run;
  }
  size_t pos = 0;
  std::string field;
  get(in, pos, field);
  run.exit_code = std::stoi(field);
  get(in, pos, field);
  run.frames = std::stoull(field);
  get(in, pos, field);
  size_t boxes = std::stoul(field);
  for (size_t i = 0; i < boxes; ++i) {
    win32::MessageBoxRecord b;
    get(in, pos, b.caption);
    get(in, pos, b.text);
    run.boxes.push_back(b);
  }
  get(in, pos, field);
  size_t records = std::stoul(field);
  for (size_t i = 0; i < records; ++i) {
    get(in, pos, field);
    run.records.push_back(field);
  }
  get(in, pos, run.after);
  return run;
}

}  // namespace test_support
