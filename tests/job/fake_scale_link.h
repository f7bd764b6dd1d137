#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/scale_link.h"

namespace testing_support {

// One request as the scale received it: the number in its header and its content between the
// header and the final placeholder byte.
struct FakeRequest {
    int number = 0;
    std::string content;
};

// The job's link with the scale played by the test. The greeting arrives after
// `greetingSteps` further calls of open; every exchange takes two calls of transfer (the link
// is busy in between, so that a test can ask for a stop in the middle of one), and its reply
// is whatever `reply` returns for the request: the reply's kind and content up to, not
// including, ETX. `reply` may throw, as the real link does for a lost connection.
class FakeScaleLink : public ScaleLink {
  public:
    std::uint8_t scaleNumber = 1;
    std::string identification = "1097401701";
    int greetingSteps = 1;
    std::function<std::string(const FakeRequest&)> reply;

    // Every request as handed to transfer, framing placeholder included.
    std::vector<std::string> sentBytes;
    std::vector<FakeRequest> requests;
    int openCalls = 0;

    StepResult open(std::uint8_t& code, std::string& identificationOut) override {
        ++openCalls;
        if (greetingSteps-- > 0) {
            return StepResult::CallAgain;
        }
        code = scaleNumber;
        identificationOut = identification;
        return StepResult::Complete;
    }

    StepResult transfer(std::uint8_t& code, char& firstByte, const std::string& request,
                        std::string& payload) override {
        if (!busy_) {
            sentBytes.push_back(request);
            FakeRequest received;
            if (request.size() >= 7) {
                received.number = (request[3] - '0') * 10 + (request[4] - '0');
                received.content = request.substr(6, request.size() - 7);
            }
            requests.push_back(received);
            busy_ = true;
            return StepResult::CallAgain;
        }
        busy_ = false;
        const std::string answer = reply ? reply(requests.back()) : std::string("q");
        const int number = requests.back().number;
        std::string frame = "\x02\x17]";
        frame.push_back(static_cast<char>('0' + number / 10));
        frame.push_back(static_cast<char>('0' + number % 10));
        frame += "\x17" + answer + "\x03";
        char check = 0;
        for (char c : frame) {
            check = static_cast<char>(check ^ c);
        }
        code = static_cast<std::uint8_t>(number);
        firstByte = answer.empty() ? '\x03' : answer[0];
        payload = frame.substr(6) + check;
        return StepResult::Complete;
    }

    // The contents of the requests, in order.
    std::vector<std::string> contents() const {
        std::vector<std::string> out;
        for (const FakeRequest& r : requests) {
            out.push_back(r.content);
        }
        return out;
    }
};

// A scale that serves its tables record by record and keeps what it is sent, as the job
// expects of a scale: a table request ("u" and the bus sign) is answered with the table's next
// record as kind "d", and after the last one with `tableEnd`, after which the table starts
// again; a record request is stored and answered with "q", as is everything else.
class ScriptedScale {
  public:
    // Records of the table `sign` under header number `number`: each its content after the
    // kind byte (the bus sign, ETB, the attribute groups).
    std::map<std::pair<int, char>, std::vector<std::string>> tables;
    std::string tableEnd = "q";
    // The table served for the model-700 table request "q*".
    char model700Table = 'B';
    // Records the scale was sent: (header number, content after the kind byte).
    std::vector<std::pair<int, std::string>> stored;

    std::string reply(const FakeRequest& request) {
        const std::string& c = request.content;
        const bool tableRequest = (c.size() == 2 && c[0] == 'u') || c == "q*";
        if (tableRequest) {
            const auto key = std::make_pair(request.number, c == "q*" ? model700Table : c[1]);
            std::size_t& position = positions_[key];
            const auto found = tables.find(key);
            if (found != tables.end() && position < found->second.size()) {
                return "d" + found->second[position++];
            }
            position = 0;
            return tableEnd;
        }
        if (!c.empty() && (c[0] == 'd' || c[0] == '\x1C')) {
            stored.emplace_back(request.number, c.substr(1));
        }
        return "q";
    }

  private:
    std::map<std::pair<int, char>, std::size_t> positions_;
};

}  // namespace testing_support
