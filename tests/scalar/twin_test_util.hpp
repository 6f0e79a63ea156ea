// Helpers of the derivative-twin tests: the direction-limit stop, checked
// as a death test with the line written on unit 6, and a stop hook that
// returns, to see that a twin refused by its limit changes nothing.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "orvika/units.h"

namespace scalar_test {

// Exit status of a stopped process: exited, and not with 0.
inline bool nonzero_exit(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }

// Runs CALL in a child process with unit 6 connected to a file; the child
// must end with a non-zero status, and unit 6 must hold exactly LINE.
inline void expect_limit_stop(const std::function<void()>& call, const std::string& line) {
  const std::string path = ::testing::TempDir() + "orvika_twin_stop_" +
                           std::to_string(static_cast<long>(::getpid())) + ".txt";
  std::remove(path.c_str());
  EXPECT_EXIT(
      {
        if (orvk_unit_connect_file(6, path.c_str(), 0) != 0) std::_Exit(0);
        call();
        std::_Exit(0);  // the call returned: no stop
      },
      nonzero_exit, "");
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), line + "\n");
  std::remove(path.c_str());
}

// While alive, the stop hook returns instead of ending the process.
class ReturningStop {
 public:
  ReturningStop() : prev_(orvk_set_stop_hook(&hook)) { calls() = 0; }
  ~ReturningStop() { orvk_set_stop_hook(prev_); }
  static int& calls() {
    static int n = 0;
    return n;
  }

 private:
  static void hook(const char*, size_t) { ++calls(); }
  orvk_stop_hook prev_;
};

}  // namespace scalar_test
