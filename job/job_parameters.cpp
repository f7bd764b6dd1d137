#include "job/job_parameters.h"

#include <vector>

#include "diag/field_splitter.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"

namespace {

constexpr std::int32_t kBadJobString = 1;
constexpr std::uint32_t kFirstArticle = 1;
constexpr std::uint32_t kLastArticle = 99999999;
constexpr std::size_t kMaxTableNames = 100;
constexpr std::size_t kTableNameLength = 4;
// A number has at most 9 digits; collecting a tenth ends the scan with an error.
constexpr std::size_t kMaxDigits = 9;
// The working directory with its appended separator needs at least this many characters.
constexpr std::size_t kMinWorkDirLength = 5;

[[noreturn]] void fail() {
    throw QmComExceptions(kBadJobString);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool contains(const std::string& token, const char* keyword) {
    return token.find(keyword) != std::string::npos;
}

std::string upperCased(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Reads one bracketed number of `token`. The character at `start` counts only as a possible
// digit (it may be the "[" or the "," before the number, or already its first digit); from the
// next character on the scan ends at `close` or at the end of the token, collecting digits and
// skipping everything else. Fails unless it ended at `close` with at most 9 digits. On success
// `value` holds the number (0 without digits) and `stop` the position of `close`.
void scanNumber(const std::string& token, std::size_t start, char close, std::uint32_t& value,
                std::size_t& stop) {
    std::string digits;
    if (start >= token.size()) {
        fail();
    }
    if (isDigit(token[start])) {
        digits += token[start];
    }
    std::size_t pos = start + 1;
    while (digits.size() <= kMaxDigits) {
        if (pos >= token.size()) {
            fail();
        }
        if (token[pos] == close) {
            break;
        }
        if (isDigit(token[pos])) {
            digits += token[pos];
        }
        ++pos;
    }
    if (digits.size() > kMaxDigits) {
        fail();
    }
    value = 0;
    for (char d : digits) {
        value = value * 10 + static_cast<std::uint32_t>(d - '0');
    }
    stop = pos;
}

std::size_t openingBracket(const std::string& token) {
    std::size_t bracket = token.find('[');
    if (bracket == std::string::npos) {
        fail();
    }
    return bracket;
}

// The first number of a configuration range: kept in 8 bits; above 99 is an error; 11 to 99
// keep only their last decimal digit (a 0 becoming 1), because configuration numbers run from
// 0 to 10.
std::uint8_t confFromValue(std::uint32_t value) {
    auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (byte > 99) {
        fail();
    }
    if (byte > 10) {
        byte = static_cast<std::uint8_t>(byte % 10);
        if (byte == 0) {
            byte = 1;
        }
    }
    return byte;
}

// The second number of a configuration range: kept in 8 bits; above 99 is an error.
std::uint8_t confToValue(std::uint32_t value) {
    auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (byte > 99) {
        fail();
    }
    return byte;
}

// Reads "[a,b]" of KWBACKUP, KWRESTORE or KWCONF into the configuration range. The second
// number's scan starts on the character after the comma.
void scanConfRange(const std::string& token, std::uint8_t& from, std::uint8_t& to) {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::size_t comma = 0;
    std::size_t end = 0;
    scanNumber(token, openingBracket(token), ',', first, comma);
    scanNumber(token, comma + 1, ']', second, end);
    from = confFromValue(first);
    to = confToValue(second);
}

}  // namespace

JobParameters::JobParameters(const std::string& commandLine) {
    // The command line is a C string on every platform: nothing after a NUL belongs to it.
    const std::string line = commandLine.substr(0, commandLine.find('\0'));
    if (line.empty()) {
        fail();
    }
    const std::string upper = upperCased(line);
    std::vector<std::string> tokens;
    FieldSplitter splitter(upper, ';');
    for (std::string token; splitter.next(token);) {
        tokens.push_back(token);
    }
    // A string of nothing but separators names no job at all and is taken as it is.
    if (tokens.empty()) {
        return;
    }
    parseFirstToken(tokens[0]);
    if (tokens.size() > 1) {
        if (!contains(tokens[1], "KWDIR")) {
            fail();
        }
        parseWorkDir(line);
    }
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (contains(token, "KWPORT")) {
            parsePort(token);
        } else if (contains(token, "KWARTICLE")) {
            parseArticles(token);
        } else if (contains(token, "KWCONF")) {
            parseConfRange(token);
        } else if (contains(token, "KWTAB")) {
            parseTables(token);
        } else if (contains(token, "KWCHANGED")) {
            result_.changedOnly = true;
        } else {
            fail();
        }
    }
    if (!result_.tablesGiven && !result_.confGiven && !result_.articleGiven) {
        fail();
    }
    // Only a KWDOWN job leaves records out: a job from the scale fetches whole tables, and a
    // KWRESTORE is the way to give a scale everything again.
    if (result_.changedOnly && result_.jobKind != 2) {
        fail();
    }
}

// KWBACKUP[a,b] and KWRESTORE[a,b] move everything; KWDOWN and KWUP only what further tokens
// name.
void JobParameters::parseFirstToken(const std::string& token) {
    const bool backup = contains(token, "KWBACKUP");
    if (backup || contains(token, "KWRESTORE")) {
        result_.confGiven = true;
        result_.articleGiven = true;
        result_.tablesGiven = true;
        result_.articleFrom = kFirstArticle;
        result_.articleTo = kLastArticle;
        result_.tableNameCount = JobParseResult::kAllTables;
        result_.jobKind = backup ? 1 : 0;
        result_.direction = backup ? 2 : 1;
        scanConfRange(token, result_.confFrom, result_.confTo);
    } else if (contains(token, "KWDOWN")) {
        result_.jobKind = 2;
        result_.direction = 1;
    } else if (contains(token, "KWUP")) {
        result_.jobKind = 3;
        result_.direction = 2;
    } else {
        fail();
    }
}

// The path is taken from the command line as typed, not from the upper-cased token: it is the
// text between the first ";" of the whole line and the next one. A line that starts with ";"
// or has ";;" before KWDIR therefore finds no path there and fails.
void JobParameters::parseWorkDir(const std::string& commandLine) {
    const std::size_t first = commandLine.find(';');
    std::size_t next = commandLine.find(';', first + 1);
    if (next == std::string::npos) {
        next = commandLine.size();
    }
    const std::string text = commandLine.substr(first + 1, next - first - 1);
    std::size_t start = text.find('[');
    if (start == std::string::npos) {
        fail();
    }
    ++start;
    while (start < text.size() && text[start] == ' ') {
        ++start;
    }
    const std::size_t close = text.find(']', start);
    if (close == std::string::npos) {
        fail();
    }
    const std::string path = text.substr(start, close - start);
    const char separator = platform::pathSeparator();
    const std::string workDir = path + separator;
    if (workDir.size() < kMinWorkDirLength) {
        fail();
    }
    // The directory's name follows the last "\" or "/" of the path. Position 0 is a drive letter
    // on Windows, so it is not looked at there; where paths start at the root with "/", as on
    // POSIX, it is, so that a directory directly below the root ("/data") has a name.
    const std::size_t lowest = separator == '/' ? 0 : 1;
    std::size_t pos = path.size() - 1;
    while (path[pos] != '\\' && path[pos] != '/') {
        if (pos == lowest) {
            fail();
        }
        --pos;
    }
    result_.workDir = workDir;
    result_.dirName = path.substr(pos + 1);
}

void JobParameters::parsePort(const std::string& token) {
    std::uint32_t value = 0;
    std::size_t end = 0;
    scanNumber(token, openingBracket(token), ']', value, end);
    result_.port = static_cast<std::int32_t>(value);
    result_.portGiven = true;
}

// In a KWUP job KWARTICLE always means all articles and its bracket is not read. Elsewhere the
// second number's scan starts on the comma itself.
void JobParameters::parseArticles(const std::string& token) {
    result_.articleGiven = true;
    if (result_.jobKind == 3) {
        result_.articleFrom = kFirstArticle;
        result_.articleTo = kLastArticle;
        return;
    }
    std::size_t comma = 0;
    std::size_t end = 0;
    scanNumber(token, openingBracket(token), ',', result_.articleFrom, comma);
    scanNumber(token, comma, ']', result_.articleTo, end);
}

void JobParameters::parseConfRange(const std::string& token) {
    scanConfRange(token, result_.confFrom, result_.confTo);
    result_.confGiven = true;
}

// KWTAB[name,name,...] names up to 100 tables, KWTAB[*] all of them. Blanks are ignored
// everywhere in the list. A name closed by "," must have 4 characters; the last one, closed
// by "]", may have any length (so [] is one empty name). KWTAB without a bracket keeps an
// earlier "all tables" and is an error otherwise.
void JobParameters::parseTables(const std::string& token) {
    result_.tablesGiven = true;
    std::size_t pos = token.find('[');
    if (pos == std::string::npos) {
        if (result_.tableNameCount != JobParseResult::kAllTables) {
            fail();
        }
        return;
    }
    result_.tableNameCount = 0;
    result_.tables[0].clear();
    std::size_t count = 0;
    std::string name;
    for (++pos; pos < token.size() && token[pos] != ']'; ++pos) {
        const char c = token[pos];
        if (c == ' ') {
            continue;
        }
        if (c == ',') {
            if (name.size() != kTableNameLength || count + 1 >= kMaxTableNames) {
                fail();
            }
            result_.tables[count++] = name;
            name.clear();
        } else if (c == '*') {
            if (count != 0 || !name.empty()) {
                fail();
            }
            for (++pos; pos < token.size() && token[pos] != ']'; ++pos) {
                if (token[pos] != ' ') {
                    fail();
                }
            }
            result_.tableNameCount = JobParseResult::kAllTables;
            return;
        } else {
            name += c;
        }
    }
    const bool closed = pos < token.size();
    if (!closed && name.size() != kTableNameLength) {
        fail();
    }
    result_.tables[count++] = name;
    result_.tableNameCount = static_cast<std::uint8_t>(count);
}
