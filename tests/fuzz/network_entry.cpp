// The network device's receiving side: the telnet layer of the COM-PORT-OPTION takes the bytes a
// server sends, cut into reads at places the input chooses, after the negotiation has started.
#include <string>

#include "fuzz/fuzz_targets.h"
#include "platform/rfc2217_codec.h"

namespace fuzz_targets {

namespace {

// Feeds `wire` to a codec that has started and been accepted, in reads whose sizes cycle through
// `cuts` (each 1 to 16 bytes); returns the data handed on.
std::string receive(const std::string& wire, const std::string& cuts, std::string& output) {
    LineSettings settings;
    platform::Rfc2217Codec codec(settings);
    codec.start();
    std::string data;
    const std::string accept("\xFF\xFD\x2C", 3);
    codec.receive(accept.data(), accept.size(), data);
    codec.takeOutput();
    std::size_t done = 0;
    for (std::size_t i = 0; done < wire.size(); ++i) {
        std::size_t length = cuts.empty() ? wire.size() : 1 + (cuts[i % cuts.size()] & 0x0F);
        length = std::min(length, wire.size() - done);
        codec.receive(wire.data() + done, length, data);
        done += length;
    }
    output = codec.takeOutput();
    codec.takeNotes();
    return data;
}

}  // namespace

// Input: one byte n, then n bytes of read sizes, then the bytes from the server.
void networkReceive(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t n = std::min<std::size_t>(data[0], size - 1);
    const std::string cuts(reinterpret_cast<const char*>(data) + 1, n);
    const std::string wire(reinterpret_cast<const char*>(data) + 1 + n, size - 1 - n);
    std::string whole;
    std::string cut;
    const std::string fromWhole = receive(wire, std::string(), whole);
    const std::string fromCut = receive(wire, cuts, cut);
    if (fromWhole != fromCut || whole != cut) {
        brokenInvariant("the reads a stream is cut into change what it carries");
    }
    if (fromWhole.size() > wire.size()) {
        brokenInvariant("more data handed on than received");
    }
    if (!whole.empty() && static_cast<unsigned char>(whole[0]) != 0xFF) {
        brokenInvariant("an answer that is no telnet command");
    }
    // Data escaped as a server escapes it arrives unchanged.
    std::string unused;
    if (receive(platform::Rfc2217Codec::escape(wire.data(), wire.size()), cuts, unused) != wire) {
        brokenInvariant("escaped data does not arrive unchanged");
    }
}

}  // namespace fuzz_targets
