#pragma once

#include <string>

namespace testing_support {

// A fresh directory below the system's temporary directory, removed with everything in it
// when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory without a trailing separator.
    const std::string& path() const { return path_; }
    // The directory followed by the platform's separator (how the program names a working
    // directory).
    std::string withSeparator() const;
    // path() + separator + name.
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// Whole-file helpers in binary mode. readFile returns false when the file cannot be opened.
bool readFile(const std::string& path, std::string& content);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

}  // namespace testing_support
