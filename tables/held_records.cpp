#include "tables/held_records.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "diag/escaped_bytes.h"
#include "diag/hex_digit.h"
#include "diag/output_file.h"
#include "platform/platform.h"

namespace {

// The first line names the file's kind and its form; a file without it is not ours.
const char kFirstLine[] = "KWLINK HELD RECORDS 1";
const char kNote[] =
    "# What this scale holds, as far as kwlink knows: written by kwlink after every record the "
    "scale acknowledged. Not to be edited. Deleting this file is always safe: the next "
    "KWCHANGED job then sends every record.";

// A field of a line: escaped as for the log, and a blank too, so that blanks separate fields.
std::string escapeField(const std::string& bytes) {
    std::string out;
    for (char c : escapeBytes(bytes)) {
        if (c == ' ') {
            out += "\\x20";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool unescapeField(const std::string& text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte <= 0x20 || byte >= 0x7F) {
            return false;
        }
        if (text[i] != '\\') {
            bytes.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            bytes.push_back('\\');
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigitValue(text[i + 2]) >= 0 &&
                   hexDigitValue(text[i + 3]) >= 0) {
            bytes.push_back(
                static_cast<char>(hexDigitValue(text[i + 2]) * 16 + hexDigitValue(text[i + 3])));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// A decimal number that is the whole of `text`, within [low, high].
bool readNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 11) {
        return false;
    }
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && value >= low && value <= high;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; in >> field;) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

HeldRecords::HeldRecords(const std::string& workDir, const std::string& identification,
                         int scaleNumber)
    : path_(workDir + fileName(identification, scaleNumber)),
      identification_(identification),
      scaleNumber_(scaleNumber),
      savedAt_(platform::monotonicMillis()) {}

std::string HeldRecords::fileName(const std::string& identification, int scaleNumber) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", scaleNumber);
    std::string name = std::string("Kwlink-") + number + "-";
    for (char c : identification) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        name.push_back(plain ? c : '_');
    }
    return name + ".held";
}

HeldRecords::Loaded HeldRecords::load(std::string& detail) {
    records_.clear();
    changed_ = false;
    std::string reason;
    switch (platform::readAccess(path_, reason)) {
        case platform::FileAccess::Missing:
            detail = "no file " + path_;
            return Loaded::Missing;
        case platform::FileAccess::Unreadable:
            detail = path_ + " cannot be read (" + reason + ")";
            changed_ = true;
            return Loaded::Damaged;
        default:
            break;
    }
    // A link another user planted is not followed (outputTarget logs it).
    std::string target;
    if (!outputTarget(path_, target, reason)) {
        detail = reason;
        changed_ = true;
        return Loaded::Damaged;
    }
    std::ifstream in(target, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        detail = path_ + " cannot be read";
        changed_ = true;
        return Loaded::Damaged;
    }
    const Loaded loaded = parse(data, detail);
    if (loaded != Loaded::Known) {
        records_.clear();
        // Replaced at the first save, so that it cannot be taken for this scale's later.
        changed_ = true;
    }
    return loaded;
}

HeldRecords::Loaded HeldRecords::parse(const std::string& data, std::string& detail) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string::npos) {
            end = data.size();
        }
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    const auto damaged = [&](std::size_t lineNumber) {
        detail =
            path_ + ", line " + std::to_string(lineNumber + 1) + ": not as this program writes it";
        return Loaded::Damaged;
    };
    if (lines.empty() || lines[0] != kFirstLine) {
        return damaged(0);
    }
    bool scaleSeen = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == '#') {
            continue;
        }
        const std::vector<std::string> fields = fieldsOf(lines[i]);
        long number = 0;
        if (!scaleSeen) {
            std::string identification;
            if (fields.size() != 3 || fields[0] != "scale" ||
                !readNumber(fields[1], 0, 99, number) ||
                !unescapeField(fields[2], identification)) {
                return damaged(i);
            }
            if (number != scaleNumber_ || identification != identification_) {
                char text[16];
                std::snprintf(text, sizeof text, "[%02ld] ", number);
                detail = path_ + " was written for the scale " + text + escapeBytes(identification);
                return Loaded::OtherScale;
            }
            scaleSeen = true;
            continue;
        }
        long key = 0;
        std::string table;
        std::string bytes;
        if (fields.size() != 5 || fields[0] != "record" || !unescapeField(fields[1], table) ||
            !readNumber(fields[2], 0, 255, number) ||
            !readNumber(fields[3], INT32_MIN, INT32_MAX, key) || !unescapeField(fields[4], bytes)) {
            return damaged(i);
        }
        records_[Id(table, static_cast<int>(number), static_cast<std::int32_t>(key))] = bytes;
    }
    if (!scaleSeen) {
        return damaged(lines.size());
    }
    return Loaded::Known;
}

std::string HeldRecords::content() const {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", scaleNumber_);
    std::string out = std::string(kFirstLine) + "\r\n" + kNote + "\r\n" + "scale " + number + " " +
                      escapeField(identification_) + "\r\n";
    for (const auto& entry : records_) {
        out += "record " + escapeField(std::get<0>(entry.first)) + " " +
               std::to_string(std::get<1>(entry.first)) + " " +
               std::to_string(std::get<2>(entry.first)) + " " + escapeField(entry.second) + "\r\n";
    }
    return out;
}

bool HeldRecords::save() {
    if (!changed_) {
        return true;
    }
    if (!writeOutputFile(path_, content())) {
        return false;
    }
    changed_ = false;
    return true;
}

bool HeldRecords::holds(const std::string& table, int number, std::int32_t key,
                        const std::string& bytes) const {
    const auto found = records_.find(Id(table, number, key));
    return found != records_.end() && found->second == bytes;
}

bool HeldRecords::knowsTable(const std::string& table, int number) const {
    const auto found = records_.lower_bound(Id(table, number, INT32_MIN));
    return found != records_.end() && std::get<0>(found->first) == table &&
           std::get<1>(found->first) == number;
}

void HeldRecords::remember(const std::string& table, int number, std::int32_t key,
                           const std::string& bytes) {
    records_[Id(table, number, key)] = bytes;
    changed_ = true;
}

void HeldRecords::forget(const std::string& table, int number, std::int32_t key) {
    changed_ = records_.erase(Id(table, number, key)) != 0 || changed_;
}

void HeldRecords::forgetTable(const std::string& table, int number) {
    const auto first = records_.lower_bound(Id(table, number, INT32_MIN));
    auto last = first;
    while (last != records_.end() && std::get<0>(last->first) == table &&
           std::get<1>(last->first) == number) {
        ++last;
    }
    changed_ = first != last || changed_;
    records_.erase(first, last);
}

void HeldRecords::saveEvery(std::uint64_t intervalMs, bool now) {
    const std::uint64_t time = platform::monotonicMillis();
    if (now || time - savedAt_ >= intervalMs) {
        save();
        savedAt_ = time;
    }
}
