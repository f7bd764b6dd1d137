#pragma once

#include <cstdint>
#include <string>

#include "diag/link_settings.h"

// "Kwlink.cfg" beside the program: one line "port;receiveTimeout;ackTimeout;pause;maxRepeats".
// Created with the defaults when missing, rewritten when the job names another port.
class ConfigFile {
  public:
    // Loads the file of `programDirectory`. Throws QmComExceptions(9) when the first 19
    // characters of its first line hold fewer than five fields.
    explicit ConfigFile(const std::string& programDirectory);
    virtual ~ConfigFile() = default;

    // Stores `port` and rewrites the whole file when it differs from the stored port.
    void setPort(std::uint32_t port);
    // Copies the settings out; false (nothing copied) while they are not loaded.
    bool getSettings(LinkSettings& settings) const;

    // The file's text for `settings`: five values with ";" between them, no line end; the
    // time-outs as a stream writes a double by default (15.0 as "15", 2.5 as "2.5").
    static std::string format(const LinkSettings& settings);

  private:
    void write() const;

    LinkSettings settings_;
    std::string path_;
    bool loaded_ = false;
};
