#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The simulated scale (kwlink-scale-sim, found beside the test executable) as a child process
// of a POSIX test. The constructor starts it with "--link `linkPath`" and `arguments` and waits
// for its ready line; the destructor stops it (SIGTERM) and waits for it.
class ScaleSimProcess {
  public:
    ScaleSimProcess(const std::string& linkPath, const std::vector<std::string>& arguments);
    ~ScaleSimProcess();
    ScaleSimProcess(const ScaleSimProcess&) = delete;
    ScaleSimProcess& operator=(const ScaleSimProcess&) = delete;

    // True once the simulator has published its device.
    bool ready() const { return ready_; }
    // Stops the simulator and waits for it; true when it ended cleanly (exit status 0).
    bool stop();
    // Sends the release signal (SIGUSR1).
    void release();

  private:
    int pid_ = -1;
    bool ready_ = false;
};

// The lines of a transcript file, and the number of lines that start with `prefix`.
std::vector<std::string> readLines(const std::string& path);
int countLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace testing_support
