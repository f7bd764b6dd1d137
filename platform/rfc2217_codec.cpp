#include "platform/rfc2217_codec.h"

namespace platform {

namespace {

constexpr unsigned char kSe = 240;
constexpr unsigned char kSb = 250;
constexpr unsigned char kWill = 251;
constexpr unsigned char kWont = 252;
constexpr unsigned char kDo = 253;
constexpr unsigned char kDont = 254;

constexpr unsigned char kBinary = 0;
constexpr unsigned char kSuppressGoAhead = 3;
constexpr unsigned char kComPort = 44;

// Client codes of the COM-PORT-OPTION; the server answers with the code + 100.
constexpr unsigned char kSetBaudRate = 1;
constexpr unsigned char kSetDataSize = 2;
constexpr unsigned char kSetParity = 3;
constexpr unsigned char kSetStopSize = 4;
constexpr unsigned char kSetControl = 5;
constexpr unsigned char kPurgeData = 12;
constexpr unsigned char kServerOffset = 100;
constexpr unsigned char kPurgeBoth = 3;

bool wanted(unsigned char option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

const char* settingName(unsigned char code) {
    switch (code) {
        case kSetBaudRate:
            return "baud rate";
        case kSetDataSize:
            return "data size";
        case kSetParity:
            return "parity";
        case kSetStopSize:
            return "stop size";
        default:
            return "control";
    }
}

std::string valueText(const std::string& value) {
    if (value.size() == 4) {
        std::uint32_t number = 0;
        for (char c : value) {
            number = (number << 8) | static_cast<unsigned char>(c);
        }
        return std::to_string(number);
    }
    std::string text;
    for (char c : value) {
        text += (text.empty() ? "" : " ") + std::to_string(static_cast<unsigned char>(c));
    }
    return text.empty() ? "nothing" : text;
}

}  // namespace

Rfc2217Codec::Rfc2217Codec(const LineSettings& settings) : settings_(settings) {}

std::string Rfc2217Codec::start() {
    for (unsigned char option : {kBinary, kSuppressGoAhead}) {
        sendVerb(kWill, option);
        weWill_[option] = true;
        sendVerb(kDo, option);
        weDo_[option] = true;
    }
    sendVerb(kWill, kComPort);
    weWill_[kComPort] = true;
    return takeOutput();
}

void Rfc2217Codec::receive(const char* bytes, std::size_t count, std::string& data) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    data.push_back(static_cast<char>(byte));
                }
                break;
            case State::Iac:
                if (byte == kIac) {
                    data.push_back(static_cast<char>(byte));
                    state_ = State::Data;
                } else if (byte >= kWill) {
                    verb_ = byte;
                    state_ = State::Verb;
                } else if (byte == kSb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else {
                    // NOP, GA, DM and the other two-byte commands carry nothing for us.
                    state_ = State::Data;
                }
                break;
            case State::Verb:
                onVerb(verb_, byte);
                state_ = State::Data;
                break;
            case State::Sub:
                if (byte == kIac) {
                    state_ = State::SubIac;
                } else {
                    sub_.push_back(static_cast<char>(byte));
                }
                break;
            case State::SubIac:
                if (byte == kIac) {
                    sub_.push_back(static_cast<char>(byte));
                    state_ = State::Sub;
                } else if (byte == kSe) {
                    onSubnegotiation();
                    state_ = State::Data;
                } else {
                    // A command inside a subnegotiation ends it unfinished; take the command.
                    state_ = State::Iac;
                    --i;
                }
                break;
        }
    }
}

void Rfc2217Codec::onVerb(unsigned char verb, unsigned char option) {
    switch (verb) {
        case kDo:
            if (!wanted(option)) {
                sendVerb(kWont, option);
                break;
            }
            if (!weWill_[option]) {
                weWill_[option] = true;
                sendVerb(kWill, option);
            }
            if (option == kComPort && !comPortAccepted_) {
                comPortAccepted_ = true;
                sendLine();
            }
            break;
        case kDont:
            if (weWill_[option]) {
                weWill_[option] = false;
                sendVerb(kWont, option);
            }
            if (option == kComPort || option == kBinary) {
                refused_ = true;
            }
            break;
        case kWill:
            // Some servers offer the COM-PORT-OPTION from their side too; taking it costs
            // nothing.
            if (!wanted(option)) {
                sendVerb(kDont, option);
            } else if (!weDo_[option]) {
                weDo_[option] = true;
                sendVerb(kDo, option);
            }
            break;
        case kWont:
            if (weDo_[option]) {
                weDo_[option] = false;
                sendVerb(kDont, option);
            }
            if (option == kBinary) {
                refused_ = true;
            }
            break;
        default:
            break;
    }
}

void Rfc2217Codec::onSubnegotiation() {
    if (sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != kComPort) {
        return;
    }
    const auto code =
        static_cast<unsigned char>(static_cast<unsigned char>(sub_[1]) - kServerOffset);
    const std::string value = sub_.substr(2);
    for (Setting& setting : asked_) {
        if (setting.code != code || setting.answered) {
            continue;
        }
        setting.answered = true;
        if (value != setting.value) {
            notes_.push_back(std::string(settingName(code)) + " " + valueText(value) +
                             " instead of " + valueText(setting.value));
        }
        return;
    }
}

void Rfc2217Codec::sendVerb(unsigned char verb, unsigned char option) {
    output_ += static_cast<char>(kIac);
    output_ += static_cast<char>(verb);
    output_ += static_cast<char>(option);
}

void Rfc2217Codec::sendSetting(unsigned char code, const std::string& value) {
    output_ += static_cast<char>(kIac);
    output_ += static_cast<char>(kSb);
    output_ += static_cast<char>(kComPort);
    output_ += static_cast<char>(code);
    output_ += escape(value.data(), value.size());
    output_ += static_cast<char>(kIac);
    output_ += static_cast<char>(kSe);
    if (code != kPurgeData) {
        asked_.push_back(Setting{code, value, false});
    }
}

void Rfc2217Codec::sendLine() {
    const std::uint32_t baud = settings_.baudRate;
    sendSetting(kSetBaudRate,
                std::string{static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                            static_cast<char>(baud >> 8), static_cast<char>(baud)});
    sendSetting(kSetDataSize, std::string(1, static_cast<char>(settings_.format.dataBits)));
    // The device control block codes parity 0 to 4 (none, odd, even, mark, space); the option
    // codes them 1 to 5.
    sendSetting(kSetParity, std::string(1, static_cast<char>(settings_.format.parity + 1)));
    // One, one and a half, two stop bits: 0, 1, 2 in the control block; 1, 3, 2 here.
    static const char kStopSize[] = {1, 3, 2};
    const std::uint8_t stop = settings_.format.stopBits <= 2 ? settings_.format.stopBits : 0;
    sendSetting(kSetStopSize, std::string(1, kStopSize[stop]));
    // No flow control 1, XON/XOFF 2, hardware 3.
    const char control = settings_.handshake == 1 ? 2 : settings_.handshake == 2 ? 3 : 1;
    sendSetting(kSetControl, std::string(1, control));
}

void Rfc2217Codec::purge() {
    if (comPortAccepted_) {
        sendSetting(kPurgeData, std::string(1, static_cast<char>(kPurgeBoth)));
    }
}

std::string Rfc2217Codec::takeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

bool Rfc2217Codec::lineSet() const {
    if (!comPortAccepted_) {
        return false;
    }
    for (const Setting& setting : asked_) {
        if (!setting.answered) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> Rfc2217Codec::takeNotes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

std::string Rfc2217Codec::escape(const char* data, std::size_t count) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        out += data[i];
        if (static_cast<unsigned char>(data[i]) == kIac) {
            out += data[i];
        }
    }
    return out;
}

}  // namespace platform
