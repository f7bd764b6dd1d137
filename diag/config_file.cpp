#include "diag/config_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <sstream>

#include "diag/field_splitter.h"
#include "diag/line_reader.h"
#include "diag/output_file.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"

namespace {

// Only the first 19 characters of the first line count.
constexpr std::string::size_type kMaxLineLength = 19;

// "%u": leading blanks and a sign are accepted; a token without a number gives 0.
std::uint32_t parseUnsigned(const std::string& token) {
    unsigned value = 0;
    if (std::sscanf(token.c_str(), "%u", &value) != 1) {
        return 0;
    }
    return value;
}

// "An output file could not be written".

}  // namespace

ConfigFile::ConfigFile(const std::string& directory)
    : path_(directory + platform::pathSeparator() + "Kwlink.cfg") {
    // The file is rewritten by this job: a link another user planted in its place would both
    // choose the job's port and take its write elsewhere (the log names the link).
    std::string target;
    std::string refusal;
    if (!outputTarget(path_, target, refusal)) {
        throw QmComExceptions(Message::OutputNotWritten);
    }
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        settings_ = LinkSettings();
        write();
        loaded_ = true;
        return;
    }
    std::string line;
    LineReader(in, kMaxLineLength).next(line);
    in.close();
    if (line.size() > kMaxLineLength) {
        line.resize(kMaxLineLength);
    }
    FieldSplitter fields(line, ';');
    std::string tokens[5];
    for (std::string& token : tokens) {
        if (!fields.next(token)) {
            throw QmComExceptions(Message::ConfigurationFileWrong);
        }
    }
    settings_.port = parseUnsigned(tokens[0]);
    settings_.receiveTimeout = std::atof(tokens[1].c_str());
    settings_.ackTimeout = std::atof(tokens[2].c_str());
    settings_.pause = parseUnsigned(tokens[3]);
    settings_.maxRepeats = parseUnsigned(tokens[4]);
    if (!inRange(settings_)) {
        throw QmComExceptions(Message::ConfigurationFileWrong);
    }
    loaded_ = true;
}

bool ConfigFile::inRange(const LinkSettings& settings) {
    auto timeoutInRange = [](double seconds) {
        return std::isfinite(seconds) && seconds >= kShortestTimeout && seconds <= kLongestTimeout;
    };
    return timeoutInRange(settings.receiveTimeout) && timeoutInRange(settings.ackTimeout) &&
           settings.pause <= kLongestPause && settings.maxRepeats <= kMostRepeats;
}

void ConfigFile::setPort(std::uint32_t port) {
    if (!loaded_ || port == settings_.port) {
        return;
    }
    settings_.port = port;
    write();
}

bool ConfigFile::getSettings(LinkSettings& settings) const {
    if (!loaded_) {
        return false;
    }
    settings = settings_;
    return true;
}

std::string ConfigFile::format(const LinkSettings& settings) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << settings.port << ';' << settings.receiveTimeout << ';' << settings.ackTimeout << ';'
        << settings.pause << ';' << settings.maxRepeats;
    return out.str();
}

void ConfigFile::write() const {
    writeOutputFile(path_, format(settings_));
}
