// A command-line program run as its users run it, for the tests of the
// station's programs: its arguments, its output and error text, its exit
// status and its peak memory.
#ifndef VANTREL_TESTS_TOOLS_TOOL_RUN_H
#define VANTREL_TESTS_TOOLS_TOOL_RUN_H

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "imaging/test_files.h"

extern char** environ;

namespace vantrel::test {

struct ToolRun {
  int status = -1;  // the exit status, 128 + the signal for a killed program
  std::string out, err;
  long peakKilobytes = 0;  // the program's peak resident memory

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(out.substr(start, nl - start));
    return lines;
  }
};

struct ToolOptions {
  std::string folder;               // where it runs; empty: here
  std::vector<std::string> unset;   // environment variables it does not get
  std::vector<std::string> set;     // NAME=VALUE it gets besides
};

// Runs `program` with `args`, its output and error text going through the
// files outPath and errPath, and waits for it.
inline ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                       const std::string& outPath, const std::string& errPath, const ToolOptions& options = {}) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    bool kept = true;
    for (const std::string& name : options.unset) kept = kept && entry.rfind(name + "=", 0) != 0;
    if (kept) env.push_back(entry);
  }
  env.insert(env.end(), options.set.begin(), options.set.end());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  ToolRun r;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int ws = 0;
    struct rusage usage {};
    wait4(pid, &ws, 0, &usage);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    r.peakKilobytes = usage.ru_maxrss;
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = ReadText(outPath);
  r.err = ReadText(errPath);
  return r;
}

}  // namespace vantrel::test

#endif
