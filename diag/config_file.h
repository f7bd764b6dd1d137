#pragma once

#include <cstdint>
#include <string>

#include "diag/link_settings.h"

// "Kwlink.cfg" beside the program: one line "port;receiveTimeout;ackTimeout;pause;maxRepeats".
// Created with the defaults when missing, rewritten when the job names another port.
class ConfigFile {
  public:
    // Limits of the values: beyond them a job could not be stopped in reasonable time.
    static constexpr double kShortestTimeout = 0.05;       // seconds
    static constexpr double kLongestTimeout = 3600;        // seconds
    static constexpr std::uint32_t kLongestPause = 60000;  // milliseconds
    static constexpr std::uint32_t kMostRepeats = 255;

    // Loads the file of `directory` (the data directory). Throws QmComExceptions(9) when the
    // first 19 characters of its first line hold fewer than five fields, or a value lies
    // outside its limits (time-outs finite and from 0.05 to 3600 s, pause at most 60000 ms, at
    // most 255 repeats); QmComExceptions(38) when the file is another user's symbolic link.
    explicit ConfigFile(const std::string& directory);
    ~ConfigFile() = default;

    // Stores `port` and rewrites the whole file when it differs from the stored port.
    void setPort(std::uint32_t port);
    // Copies the settings out; false (nothing copied) while they are not loaded.
    bool getSettings(LinkSettings& settings) const;

    // The file's text for `settings`: five values with ";" between them, no line end; the
    // time-outs as a stream writes a double by default (15.0 as "15", 2.5 as "2.5").
    static std::string format(const LinkSettings& settings);

    // Whether every value lies within the limits above.
    static bool inRange(const LinkSettings& settings);

  private:
    void write() const;

    LinkSettings settings_;
    std::string path_;
    bool loaded_ = false;
};
