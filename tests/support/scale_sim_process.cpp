#include "support/scale_sim_process.h"

#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/platform.h"
#endif

namespace testing_support {

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

int countLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    int count = 0;
    for (const auto& line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            ++count;
        }
    }
    return count;
}

#ifndef _WIN32

ScaleSimProcess::ScaleSimProcess(const std::string& linkPath,
                                 const std::vector<std::string>& arguments) {
    std::string program = platform::programDirectory() + "/kwlink-scale-sim";
    std::vector<std::string> all = {program, "--link", linkPath};
    all.insert(all.end(), arguments.begin(), arguments.end());
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& argument : all) {
            argv.push_back(&argument[0]);
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    // Wait for the "ready" line (or the end of the output when the simulator fails).
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        pollfd entry{out[0], POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        char buffer[256];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    ready_ = text.compare(0, 6, "ready ") == 0;
}

ScaleSimProcess::~ScaleSimProcess() {
    stop();
}

bool ScaleSimProcess::stop() {
    if (pid_ <= 0) {
        return false;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ScaleSimProcess::release() {
    if (pid_ > 0) {
        kill(pid_, SIGUSR1);
    }
}

#else

// The Windows tests talk to simulators that the test wrapper started beforehand.
ScaleSimProcess::ScaleSimProcess(const std::string&, const std::vector<std::string>&) {}
ScaleSimProcess::~ScaleSimProcess() = default;
bool ScaleSimProcess::stop() {
    return false;
}
void ScaleSimProcess::release() {}

#endif

}  // namespace testing_support
