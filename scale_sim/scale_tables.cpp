#include "scale_sim/scale_tables.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "scale_sim/escaped_text.h"

namespace scale_sim {

bool ScaleTables::load(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        return loadFile(path, error);
    }
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(path, ec)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        if (!loadFile(file, error)) {
            return false;
        }
    }
    return true;
}

bool ScaleTables::loadFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string line;
    int lineNumber = 0;
    Table* current = nullptr;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.compare(0, 6, "table ") == 0) {
            char* end = nullptr;
            long number = std::strtol(line.c_str() + 6, &end, 10);
            char* signEnd = nullptr;
            long sign = std::strtol(end, &signEnd, 16);
            if (end == line.c_str() + 6 || signEnd == end || number < 0 || number > 99 ||
                sign < 0x20 || sign > 0xFF) {
                error = where + "expected: table <number> <hex sign>";
                return false;
            }
            current = &tables_[{static_cast<int>(number), static_cast<unsigned char>(sign)}];
        } else if (line.compare(0, 7, "record ") == 0 || line == "record") {
            std::string bytes;
            if (current == nullptr) {
                error = where + "record before any table line";
                return false;
            }
            if (!unescapeBytes(line.size() > 7 ? line.substr(7) : "", bytes)) {
                error = where + "bad escape";
                return false;
            }
            current->records.push_back(bytes);
        } else {
            error = where + "unknown line";
            return false;
        }
    }
    return true;
}

bool ScaleTables::next(int number, unsigned char sign, std::string& record) {
    auto found = tables_.find({number, sign});
    if (found == tables_.end()) {
        return false;
    }
    Table& table = found->second;
    if (table.cursor >= table.records.size()) {
        table.cursor = 0;
        return false;
    }
    record = table.records[table.cursor++];
    return true;
}

void ScaleTables::store(int number, unsigned char sign, const std::string& record) {
    tables_[{number, sign}].records.push_back(record);
}

bool ScaleTables::firstDataSign(int number, unsigned char& sign) const {
    for (const auto& entry : tables_) {
        if (entry.first.first == number && entry.first.second < 0x7E) {
            sign = entry.first.second;
            return true;
        }
    }
    return false;
}

}  // namespace scale_sim
