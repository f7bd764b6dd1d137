// kwlink-scale-sim: a simulated scale on a pseudo-terminal. See --help.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scale_sim/escaped_text.h"
#include "scale_sim/pty_line.h"
#include "scale_sim/scale_peer.h"
#include "scale_sim/scale_tables.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_release = 0;

void onStopSignal(int) {
    g_stop = 1;
}
void onReleaseSignal(int) {
    g_release = 1;
}

const char kUsage[] =
    "usage: kwlink-scale-sim --link PATH [options]\n"
    "A simulated scale on a pseudo-terminal. It publishes the terminal's device as the\n"
    "symbolic link PATH (e.g. <programDir>/com5 or $WINEPREFIX/dosdevices/com5), prints\n"
    "\"ready <device>\" on standard output, and runs until SIGINT or SIGTERM, when it removes\n"
    "the link.\n"
    "\n"
    "  --link PATH          symbolic link to create (an existing link is replaced)\n"
    "  --scale N            scale number in the greeting (default 1)\n"
    "  --ident TEXT         identification in the greeting, escaped text (default\n"
    "                       SIMSCALE0001); a 10-character identification of type 109,\n"
    "                       variant 74, model 700 switches to the model-700 letters\n"
    "  --data PATH          data file, or directory of data files, with the tables\n"
    "  --transcript FILE    write every event, frame and stored record to FILE\n"
    "  --ack-timeout MS     wait for ACK/NAK of a frame of ours (default 2000)\n"
    "  --max-repeats N      repeats of a frame of ours (default 5)\n"
    "  --settle MS          quiet time after the program's configuration before greeting (default "
    "30)\n"
    "  --pace               emulate a 9600-baud line in both directions (11 bits per byte)\n"
    "  --echo               echo every byte back, no protocol (serial port tests)\n"
    "  --q-star-sign HH     table (hex bus sign) that \"q*\" serves (default: the lowest sign\n"
    "                       below 7E held under the request's number)\n"
    "fault injection:\n"
    "  --nak-first K        answer the first K good frames with NAK\n"
    "  --bad-bcc-first K    corrupt the block check of the first K reply frames sent\n"
    "  --no-ack             never acknowledge a frame\n"
    "  --ack-stores K       acknowledge K record frames, then no frame in that connection\n"
    "  --silent-after-ack   acknowledge requests but never reply\n"
    "  --stray TEXT         escaped bytes sent before the STX of every reply\n"
    "  --w-reply D          end tables with \"w\" and digit D instead of \"q\"\n"
    "  --hold-greeting      greet only after a release\n"
    "  --pause-after K      after the K-th record reply, answer nothing until a release\n"
    "  --vanish-on-release  at a release, hang the terminal up and end (a pulled adapter)\n"
    "  --release-file FILE  a release is: FILE exists, or SIGUSR1 arrived\n"
    "\n"
    "Escaped text: printable ASCII as is, \"\\\\\" for a backslash, \"\\xHH\" for any byte.\n"
    "Data files: lines \"table <number> <hex sign>\" and \"record <escaped bytes>\" (the reply\n"
    "content after the kind byte, up to ETX); '#' starts a comment line.\n"
    "Transcript lines: open, hangup, rx <frame>, rx-ack, rx-nak, tx <frame>, tx-ack, tx-nak,\n"
    "store <number> <hex sign> <record>, giveup.\n";

bool intArgument(const char* text, int& value) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 0);
    if (end == text || *end != '\0') {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    scale_sim::PeerOptions options;
    std::string linkPath;
    std::string dataPath;
    std::string transcriptPath;
    bool pace = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&](const char*& text) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kwlink-scale-sim: %s needs a value\n", option.c_str());
                std::exit(2);
            }
            text = argv[++i];
        };
        auto number = [&](int& target) {
            const char* text = nullptr;
            value(text);
            if (!intArgument(text, target)) {
                std::fprintf(stderr, "kwlink-scale-sim: %s: not a number: %s\n", option.c_str(),
                             text);
                std::exit(2);
            }
        };
        const char* text = nullptr;
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (option == "--link") {
            value(text);
            linkPath = text;
        } else if (option == "--scale") {
            number(options.scaleNumber);
        } else if (option == "--ident") {
            value(text);
            if (!scale_sim::unescapeBytes(text, options.identification)) {
                std::fprintf(stderr, "kwlink-scale-sim: --ident: bad escape\n");
                return 2;
            }
        } else if (option == "--data") {
            value(text);
            dataPath = text;
        } else if (option == "--transcript") {
            value(text);
            transcriptPath = text;
        } else if (option == "--ack-timeout") {
            number(options.ackTimeoutMs);
        } else if (option == "--max-repeats") {
            number(options.maxRepeats);
        } else if (option == "--settle") {
            number(options.settleMs);
        } else if (option == "--pace") {
            pace = true;
        } else if (option == "--echo") {
            options.echo = true;
        } else if (option == "--q-star-sign") {
            value(text);
            options.qStarSign = static_cast<int>(std::strtol(text, nullptr, 16));
        } else if (option == "--nak-first") {
            number(options.nakFirst);
        } else if (option == "--bad-bcc-first") {
            number(options.badBccFirst);
        } else if (option == "--ack-stores") {
            number(options.ackStores);
        } else if (option == "--no-ack") {
            options.neverAck = true;
        } else if (option == "--silent-after-ack") {
            options.silentAfterAck = true;
        } else if (option == "--stray") {
            value(text);
            if (!scale_sim::unescapeBytes(text, options.stray)) {
                std::fprintf(stderr, "kwlink-scale-sim: --stray: bad escape\n");
                return 2;
            }
        } else if (option == "--w-reply") {
            value(text);
            options.endReplyDigit = text[0];
        } else if (option == "--hold-greeting") {
            options.holdGreeting = true;
        } else if (option == "--pause-after") {
            number(options.pauseAfter);
        } else if (option == "--vanish-on-release") {
            options.vanishOnRelease = true;
        } else if (option == "--release-file") {
            value(text);
            options.releaseFile = text;
        } else {
            std::fprintf(stderr, "kwlink-scale-sim: unknown option %s (see --help)\n",
                         option.c_str());
            return 2;
        }
    }
    if (linkPath.empty()) {
        std::fputs("kwlink-scale-sim: --link PATH is required (see --help)\n", stderr);
        return 2;
    }

    scale_sim::ScaleTables tables;
    std::string error;
    if (!dataPath.empty() && !tables.load(dataPath, error)) {
        std::fprintf(stderr, "kwlink-scale-sim: %s\n", error.c_str());
        return 1;
    }
    scale_sim::Transcript transcript;
    if (!transcriptPath.empty() && !transcript.open(transcriptPath)) {
        std::fprintf(stderr, "kwlink-scale-sim: cannot write %s\n", transcriptPath.c_str());
        return 1;
    }

    struct sigaction stopAction {};
    stopAction.sa_handler = onStopSignal;
    sigaction(SIGINT, &stopAction, nullptr);
    sigaction(SIGTERM, &stopAction, nullptr);
    struct sigaction releaseAction {};
    releaseAction.sa_handler = onReleaseSignal;
    sigaction(SIGUSR1, &releaseAction, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    scale_sim::PtyLine line;
    std::string device;
    if (!line.create(device, error)) {
        std::fprintf(stderr, "kwlink-scale-sim: %s\n", error.c_str());
        return 1;
    }
    line.setPacing(pace);
    unlink(linkPath.c_str());
    if (symlink(device.c_str(), linkPath.c_str()) != 0) {
        std::fprintf(stderr, "kwlink-scale-sim: cannot create %s: %s\n", linkPath.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("ready %s\n", device.c_str());
    std::fflush(stdout);

    scale_sim::ScalePeer peer(line, tables, transcript, options);
    peer.run(g_stop, g_release);
    if (options.vanishOnRelease && g_stop == 0) {
        // What the kernel does to a serial device whose USB adapter is pulled: every open
        // descriptor of the terminal is hung up.
        const int slave = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slave >= 0) {
            ioctl(slave, TIOCVHANGUP);
            close(slave);
        }
    }
    unlink(linkPath.c_str());
    return 0;
}
