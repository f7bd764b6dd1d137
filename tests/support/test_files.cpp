#include "support/test_files.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("kwlink-test-" + std::to_string(random()) + "-" +
                                         std::to_string(counter.fetch_add(1)));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string TempDir::withSeparator() const {
    return path_ + platform::pathSeparator();
}

std::string TempDir::file(const std::string& name) const {
    return withSeparator() + name;
}

bool readFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string readFile(const std::string& path) {
    std::string content;
    readFile(path, content);
    return content;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

}  // namespace testing_support
