#include "platform/network_ports.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/platform.h"

namespace platform {

namespace {

bool allDigits(const std::string& text, std::size_t longest) {
    if (text.empty() || text.size() > longest) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool parseLine(const std::string& line, NetworkPorts& ports) {
    const std::size_t semicolon = line.find(';');
    const std::string number = line.substr(0, semicolon);
    if (semicolon == std::string::npos || !allDigits(number, 9) || std::stol(number) < 1) {
        return false;
    }
    NetworkPort port;
    port.address = line.substr(semicolon + 1);
    const std::size_t schemeEnd = port.address.find("://");
    if (schemeEnd == std::string::npos) {
        return false;
    }
    const std::string scheme = port.address.substr(0, schemeEnd);
    if (scheme != "rfc2217" && scheme != "tcp") {
        return false;
    }
    port.rfc2217 = scheme == "rfc2217";
    const std::string rest = port.address.substr(schemeEnd + 3);
    std::size_t colon = 0;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return false;
        }
        port.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos) {
            return false;
        }
        port.host = rest.substr(0, colon);
        if (port.host.find_first_of("[]/ \t") != std::string::npos) {
            return false;
        }
    }
    port.service = rest.substr(colon + 1);
    if (port.host.empty() || !allDigits(port.service, 5) || std::stol(port.service) < 1 ||
        std::stol(port.service) > 65535) {
        return false;
    }
    ports[static_cast<std::int32_t>(std::stol(number))] = port;
    return true;
}

std::atomic<DeviceNoteSink> g_sink{nullptr};

}  // namespace

bool parseNetworkPorts(const std::string& text, NetworkPorts& ports, std::string& badLine) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (!parseLine(line, ports)) {
            badLine = line;
            return false;
        }
    }
    return true;
}

bool loadNetworkPorts(const std::string& programDirectory, NetworkPorts& ports,
                      std::string& badLine) {
    std::ifstream in(programDirectory + pathSeparator() + "Kwlink.ports", std::ios::binary);
    if (!in) {
        return true;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseNetworkPorts(text.str(), ports, badLine);
}

void setDeviceNoteSink(DeviceNoteSink sink) {
    g_sink = sink;
}

void deviceNote(const std::string& note) {
    static std::mutex mutex;
    static std::set<std::string> passed;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!passed.insert(note).second) {
            return;
        }
    }
    DeviceNoteSink sink = g_sink;
    if (sink != nullptr) {
        sink(note);
    }
}

}  // namespace platform
