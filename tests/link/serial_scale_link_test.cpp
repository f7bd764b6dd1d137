// SerialScaleLink against the simulated scale on a pseudo-terminal, and against a test-held
// pseudo-terminal where exact reply bytes matter.
#ifndef _WIN32

#include "link/serial_scale_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/qm_com_exceptions.h"
#include "link/serial_port.h"
#include "platform/platform.h"
#include "platform/posix/serial_termios.h"
#include "support/link_steps.h"
#include "support/scale_sim_process.h"
#include "support/test_files.h"

using testing_support::countLinesStartingWith;
using testing_support::readLines;
using testing_support::Reply;
using testing_support::roundTrip;
using testing_support::runToCompletion;
using testing_support::ScaleSimProcess;
using testing_support::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kStx = "\x02";
const std::string kEtb = "\x17";

// The request to scale 1 with the command letter s, ending with its placeholder byte.
const std::string kSaveRequest = std::string("\x02\x17]01\x17s\x17", 8);

LineSettings jobLineSettings() {
    return LineSettings();
}

LinkSettings fastLink(std::uint32_t port) {
    LinkSettings settings;
    settings.port = port;
    settings.receiveTimeout = 1.0;
    settings.ackTimeout = 0.2;
    settings.pause = 5;
    settings.maxRepeats = 5;
    return settings;
}

std::string comPath(int port) {
    return platform::programDirectory() + "/com" + std::to_string(port);
}

// Calls `step` until it throws; returns the exception's text.
std::string runToFailure(const std::function<StepResult()>& step, double seconds = 5.0) {
    auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    try {
        while (Clock::now() < deadline) {
            step();
        }
    } catch (const QmComExceptions& error) {
        return error.message();
    }
    ADD_FAILURE() << "no exception";
    return "";
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        texts_.reset(new MessageTexts(platform::programDirectory()));
        g_messageTexts = texts_.get();
    }
    void TearDown() override {
        g_messageTexts = nullptr;
        for (const auto& path : links_) {
            unlink(path.c_str());
        }
    }

    // Starts the simulated scale on COM `port` with a transcript.
    std::unique_ptr<ScaleSimProcess> startScale(int port, std::vector<std::string> arguments) {
        links_.push_back(comPath(port));
        arguments.push_back("--transcript");
        arguments.push_back(transcript());
        auto scale = std::make_unique<ScaleSimProcess>(comPath(port), arguments);
        EXPECT_TRUE(scale->ready());
        return scale;
    }
    std::string transcript() const { return dir_.file("transcript.txt"); }

    // Opens the link and waits for the greeting.
    void connect(SerialScaleLink& link, std::uint8_t& code, std::string& identification) {
        runToCompletion([&] { return link.open(code, identification); });
    }
    void connect(SerialScaleLink& link) {
        std::uint8_t code = 0;
        std::string identification;
        connect(link, code, identification);
    }
    std::string message(int number) const { return texts_->text(number); }

    TempDir dir_;
    std::unique_ptr<MessageTexts> texts_;
    std::vector<std::string> links_;
};

}  // namespace

TEST_F(LinkTest, GreetingGivesNumberAndIdentificationThenEightDataBits) {
    auto scale = startScale(61, {"--scale", "3", "--ident", "1097400701"});
    SerialScaleLink link(jobLineSettings(), fastLink(61));
    std::uint8_t code = 0;
    std::string identification;
    connect(link, code, identification);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(identification, "1097400701");
    // The line was reopened with 8 data bits, odd parity, one stop bit, 9600 baud.
    const LineSettings& line = link.currentLineSettings();
    EXPECT_EQ(line.format.dataBits, 8);
    EXPECT_EQ(line.format.parity, 1);
    EXPECT_EQ(line.format.stopBits, 0);
    EXPECT_EQ(link.port().settings().format.dataBits, 8);
    termios tio{};
    ASSERT_TRUE(platform::lineSettingsToTermios(link.port().settings(), tio));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD),
              static_cast<tcflag_t>(CS8 | PARENB | PARODD));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_TRUE(link.port().isOpen());
    // The scale saw the port opened twice: for the greeting, and again after it.
    roundTrip(link, kSaveRequest);
    ASSERT_TRUE(scale->stop());
    // Hang-ups are seen or not, depending on how fast the port was reopened.
    std::vector<std::string> lines;
    for (const auto& line : readLines(transcript())) {
        if (line != "hangup") {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(countLinesStartingWith(lines, "open"), 2);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "open");
    EXPECT_EQ(lines[1].substr(0, 3), "tx ");  // the greeting
    EXPECT_EQ(lines[2], "rx-ack");
    EXPECT_EQ(lines[3], "open");  // reopened before any request
}

TEST_F(LinkTest, ShortGreetingGivesEmptyIdentification) {
    // Nine identification characters make an 18-byte greeting.
    auto scale = startScale(62, {"--scale", "12", "--ident", "123456789"});
    SerialScaleLink link(jobLineSettings(), fastLink(62));
    std::uint8_t code = 0;
    std::string identification = "stale";
    connect(link, code, identification);
    EXPECT_EQ(code, 12);
    EXPECT_EQ(identification, "");
}

TEST_F(LinkTest, RequestGoesOutFramedWithBlockCheckAndReplyIsHandedBack) {
    auto scale = startScale(63, {});
    SerialScaleLink link(jobLineSettings(), fastLink(63));
    connect(link);
    EXPECT_FALSE(link.isBusy());
    Reply reply;
    ASSERT_EQ(link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload),
              StepResult::CallAgain);
    EXPECT_TRUE(link.isBusy());
    runToCompletion(
        [&] { return link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload); });
    EXPECT_FALSE(link.isBusy());
    EXPECT_EQ(reply.code, 1);
    EXPECT_EQ(reply.firstByte, 'q');
    // "q", ETX and the block check 02^17^5D^30^31^17^71^03 = 2C.
    EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));
    ASSERT_TRUE(scale->stop());
    auto lines = readLines(transcript());
    EXPECT_EQ(countLinesStartingWith(lines, "rx \\x02\\x17]01\\x17s\\x03."), 1);
    EXPECT_EQ(countLinesStartingWith(lines, "rx "), 1);
}

TEST_F(LinkTest, RepeatsAfterNakWithPause) {
    auto scale = startScale(64, {"--nak-first", "2"});
    LinkSettings settings = fastLink(64);
    settings.pause = 60;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    auto start = Clock::now();
    Reply reply = roundTrip(link, kSaveRequest);
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(reply.firstByte, 'q');
    // Two pauses before the two repeats, one after acknowledging the reply.
    EXPECT_GE(elapsed, 180);
    ASSERT_TRUE(scale->stop());
    auto lines = readLines(transcript());
    EXPECT_EQ(countLinesStartingWith(lines, "rx \\x02\\x17]01\\x17s\\x03."), 3);
    EXPECT_EQ(countLinesStartingWith(lines, "tx-nak"), 2);
}

TEST_F(LinkTest, NoRepeatWhenMaxRepeatsIsZero) {
    auto scale = startScale(65, {"--nak-first", "1"});
    LinkSettings settings = fastLink(65);
    settings.maxRepeats = 0;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    Reply reply;
    EXPECT_EQ(runToFailure([&] {
                  return link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload);
              }),
              message(24));
    EXPECT_FALSE(link.isBusy());
    ASSERT_TRUE(scale->stop());
    EXPECT_EQ(countLinesStartingWith(readLines(transcript()), "rx \\x02"), 1);
}

TEST_F(LinkTest, SilentScaleGivesErrorAfterAllRepeats) {
    auto scale = startScale(66, {"--no-ack"});
    LinkSettings settings = fastLink(66);
    settings.ackTimeout = 0.05;
    settings.maxRepeats = 2;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    Reply reply;
    auto start = Clock::now();
    EXPECT_EQ(runToFailure([&] {
                  return link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload);
              }),
              message(24));
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 150);
    EXPECT_FALSE(link.isBusy());
    // The next call starts a new exchange: the request goes out a fourth time.
    EXPECT_EQ(link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload),
              StepResult::CallAgain);
    EXPECT_TRUE(link.isBusy());
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (countLinesStartingWith(readLines(transcript()), "rx \\x02") < 4 &&
           Clock::now() < deadline) {
        platform::sleepMillis(10);
    }
    ASSERT_TRUE(scale->stop());
    EXPECT_EQ(countLinesStartingWith(readLines(transcript()), "rx \\x02"), 4);
}

TEST_F(LinkTest, ReplyWithBadBlockCheckIsRefusedAndTheRepeatAccepted) {
    auto scale = startScale(67, {"--bad-bcc-first", "1"});
    SerialScaleLink link(jobLineSettings(), fastLink(67));
    connect(link);
    Reply reply = roundTrip(link, kSaveRequest);
    EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));
    ASSERT_TRUE(scale->stop());
    auto lines = readLines(transcript());
    EXPECT_EQ(countLinesStartingWith(lines, "rx-nak"), 1);
    EXPECT_EQ(countLinesStartingWith(lines, "tx \\x02\\x17]01\\x17q\\x03"), 2);
    EXPECT_EQ(countLinesStartingWith(lines, "rx \\x02"), 1);
}

TEST_F(LinkTest, StrayBytesBeforeTheReplyAreDropped) {
    auto scale = startScale(68, {"--stray", "\\x06\\x15zz\\x03"});
    SerialScaleLink link(jobLineSettings(), fastLink(68));
    connect(link);
    Reply reply = roundTrip(link, kSaveRequest);
    EXPECT_EQ(reply.code, 1);
    EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));
}

TEST_F(LinkTest, ReplyThatNeverComesGivesError25) {
    auto scale = startScale(69, {"--silent-after-ack"});
    LinkSettings settings = fastLink(69);
    settings.receiveTimeout = 0.1;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    Reply reply;
    EXPECT_EQ(runToFailure([&] {
                  return link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload);
              }),
              message(25));
    EXPECT_FALSE(link.isBusy());
}

// Runs transfer until it gives up after a stop request (0); returns the milliseconds it took.
long long millisUntilGivenUp(SerialScaleLink& link, const std::string& request) {
    Reply reply;
    auto start = Clock::now();
    while (link.transfer(reply.code, reply.firstByte, request, reply.payload) !=
           StepResult::Ended) {
        if (Clock::now() - start > std::chrono::seconds(10)) {
            ADD_FAILURE() << "the exchange was not given up";
            break;
        }
    }
    EXPECT_FALSE(link.isBusy());
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(LinkTest, StopGivesUpWithinASecondAndSendsNothingAgain) {
    auto scale = startScale(79, {"--no-ack"});
    LinkSettings settings = fastLink(79);
    settings.ackTimeout = 600;
    settings.receiveTimeout = 600;
    settings.maxRepeats = 255;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    Reply reply;
    ASSERT_EQ(link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload),
              StepResult::CallAgain);
    link.requestStop();
    EXPECT_LE(millisUntilGivenUp(link, kSaveRequest), 1200);
    // An exchange started after the stop (the end request) is sent once and given up too.
    EXPECT_LE(millisUntilGivenUp(link, kSaveRequest), 1200);
    ASSERT_TRUE(scale->stop());
    EXPECT_EQ(countLinesStartingWith(readLines(transcript()), "rx \\x02"), 2);
}

TEST_F(LinkTest, StopEndsAPauseAndANakStormAtOnce) {
    auto scale = startScale(80, {"--nak-first", "1000"});
    LinkSettings settings = fastLink(80);
    settings.pause = 60000;
    settings.maxRepeats = 255;
    SerialScaleLink link(jobLineSettings(), settings);
    // The greeting is followed by a pause of a minute; the stop cuts it short.
    std::thread stopper([&link] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        link.requestStop();
    });
    auto start = Clock::now();
    connect(link);
    stopper.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // The first NAK ends the exchange: no pause, no repeat.
    EXPECT_LE(millisUntilGivenUp(link, kSaveRequest), 500);
    ASSERT_TRUE(scale->stop());
    EXPECT_EQ(countLinesStartingWith(readLines(transcript()), "rx \\x02"), 1);
}

TEST_F(LinkTest, ReplyLongerThanTheLimitIsDroppedAndRefused) {
    std::string data = dir_.file("tables.txt");
    testing_support::writeFile(data, "table 1 41\nrecord A\\x17" + std::string(200, 'x') + "\n");
    auto scale = startScale(81, {"--data", data, "--max-repeats", "1"});
    LinkSettings settings = fastLink(81);
    settings.receiveTimeout = 0.5;
    SerialScaleLink link(jobLineSettings(), settings);
    link.setReplyLimit(100);
    JobLog log(dir_.withSeparator());
    g_log = &log;
    connect(link);
    // A short reply passes.
    EXPECT_EQ(roundTrip(link, kSaveRequest).firstByte, 'q');
    Reply reply;
    const std::string tableRequest("\x02\x17]01\x17u\x41\x17", 9);
    EXPECT_EQ(runToFailure([&] {
                  return link.transfer(reply.code, reply.firstByte, tableRequest, reply.payload);
              }),
              message(25));
    g_log = nullptr;
    ASSERT_TRUE(scale->stop());
    auto lines = readLines(transcript());
    // The reply and its one repeat, each refused after it had ended.
    EXPECT_EQ(countLinesStartingWith(lines, "rx-nak"), 2);
    int logged = 0;
    for (const auto& line : log.lines()) {
        logged += line.find("Reply frame longer than 100 bytes dropped") != std::string::npos;
    }
    EXPECT_EQ(logged, 2);
}

TEST_F(LinkTest, TableRecordsAreServedAndReceivedRecordsStored) {
    std::string data = dir_.file("tables.txt");
    testing_support::writeFile(data,
                               "# two records of table 41h under number 7\n"
                               "table 7 41\n"
                               "record A\\x17one\n"
                               "record A\\x17two\\x1Ex\n");
    auto scale = startScale(70, {"--data", data});
    SerialScaleLink link(jobLineSettings(), fastLink(70));
    connect(link);
    const std::string tableRequest("\x02\x17]07\x17u\x41\x17", 9);
    Reply first = roundTrip(link, tableRequest);
    EXPECT_EQ(first.code, 7);
    EXPECT_EQ(first.firstByte, 'd');
    EXPECT_EQ(first.payload.substr(0, first.payload.size() - 1), std::string("dA\x17one\x03"));
    Reply second = roundTrip(link, tableRequest);
    EXPECT_EQ(second.payload.substr(0, second.payload.size() - 1),
              std::string("dA\x17two\x1Ex\x03"));
    Reply end = roundTrip(link, tableRequest);
    EXPECT_EQ(end.firstByte, 'q');

    roundTrip(link, std::string("\x02\x17]07\x17"
                                "dB\x17new\x17",
                                13));
    ASSERT_TRUE(scale->stop());
    auto lines = readLines(transcript());
    EXPECT_EQ(countLinesStartingWith(lines, "store 07 42 B\\x17new"), 1);
}

TEST_F(LinkTest, MissingPortGivesMessage26AndLogsTheDevice) {
    std::string path = comPath(7);
    links_.push_back(path);
    unlink(path.c_str());
    ASSERT_EQ(symlink("/nonexistent/kwlink-missing-port", path.c_str()), 0);
    g_log = new JobLog(dir_.withSeparator());
    SerialScaleLink link(jobLineSettings(), fastLink(7));
    std::uint8_t code = 0;
    std::string identification;
    EXPECT_EQ(runToFailure([&] { return link.open(code, identification); }),
              message(26) + " Com: 7");
    bool logged = false;
    for (const auto& line : g_log->lines()) {
        logged = logged || (line.find(path) != std::string::npos &&
                            line.find(std::strerror(ENOENT)) != std::string::npos);
    }
    EXPECT_TRUE(logged);
    delete g_log;
    g_log = nullptr;
}

TEST_F(LinkTest, PortHeldByAnotherProcessGivesMessage26) {
    auto scale = startScale(71, {});
    int ready[2];
    int finish[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(finish, O_CLOEXEC), 0);
    pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        close(finish[1]);
        SerialPort port;
        char result = port.open(71) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &result, 1);
        char byte = 0;
        (void)!read(finish[0], &byte, 1);
        _exit(0);
    }
    char result = 0;
    ASSERT_EQ(read(ready[0], &result, 1), 1);
    ASSERT_EQ(result, 'y');
    SerialScaleLink link(jobLineSettings(), fastLink(71));
    std::uint8_t code = 0;
    std::string identification;
    EXPECT_EQ(runToFailure([&] { return link.open(code, identification); }),
              message(26) + " Com: 71");
    close(finish[1]);
    waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], finish[0]}) {
        close(fd);
    }
}

TEST_F(LinkTest, WaitsForAHeldGreetingWithoutTimeLimit) {
    std::string release = dir_.file("release");
    auto scale = startScale(72, {"--hold-greeting", "--release-file", release});
    SerialScaleLink link(jobLineSettings(), fastLink(72));
    std::uint8_t code = 0;
    std::string identification;
    // Far longer than any time-out of the link: still waiting, and no error.
    auto until = Clock::now() + std::chrono::milliseconds(1300);
    while (Clock::now() < until) {
        ASSERT_EQ(link.open(code, identification), StepResult::CallAgain);
    }
    EXPECT_FALSE(link.isBusy());
    testing_support::writeFile(release, "");
    runToCompletion([&] { return link.open(code, identification); });
    EXPECT_EQ(identification, "SIMSCALE0001");
}

// Exact frames from a test-held pseudo-terminal: the test plays the scale byte by byte.
class HeldLineTest : public LinkTest {
  protected:
    void TearDown() override {
        if (master_ >= 0) {
            close(master_);
        }
        LinkTest::TearDown();
    }
    // Publishes a pseudo-terminal as COM `port`.
    void hold(int port) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        grantpt(master_);
        unlockpt(master_);
        std::string path = comPath(port);
        links_.push_back(path);
        unlink(path.c_str());
        ASSERT_EQ(symlink(ptsname(master_), path.c_str()), 0);
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Opens the link with a greeting from scale 2, identification "ABCDEFGHIJ".
    void greet(SerialScaleLink& link, std::uint8_t& code, std::string& identification) {
        ASSERT_EQ(link.open(code, identification),
                  StepResult::CallAgain);  // port open, now waiting
        // Block check worked out by hand: 02^17^5D^30^32^17^69 = 34; ^41..4A ("ABCDEFGHIJ",
        // together 0B) = 3F; ^03 = 3C.
        send(std::string("\x02\x17]02\x17iABCDEFGHIJ\x03\x3C", 19));
        runToCompletion([&] { return link.open(code, identification); });
    }

    int master_ = -1;
};

TEST_F(HeldLineTest, ReplyFromScaleSevenIsSplitIntoCodeKindAndPayload) {
    hold(73);
    const int master = master_;
    SerialScaleLink link(jobLineSettings(), fastLink(73));
    std::uint8_t code = 0;
    std::string identification;
    greet(link, code, identification);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(identification, "ABCDEFGHIJ");
    // ACK, a second ACK (stray), then the reply 02 17 5D 30 37 17 41 03 1A.
    send(std::string("\x06\x06\x02\x17\x5D\x30\x37\x17\x41\x03\x1A", 11));
    Reply reply = roundTrip(link, kSaveRequest);
    EXPECT_EQ(reply.code, 7);
    EXPECT_EQ(reply.firstByte, 'A');
    EXPECT_EQ(reply.payload, std::string("\x41\x03\x1A", 3));
    // The same frame with another last byte: NAK, and the link waits for the repeat.
    send(std::string("\x06\x02\x17\x5D\x30\x37\x17\x41\x03\x1B", 10));
    Reply bad;
    std::string wire;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (wire.find('\x15') == std::string::npos && Clock::now() < deadline) {
        EXPECT_EQ(link.transfer(bad.code, bad.firstByte, kSaveRequest, bad.payload),
                  StepResult::CallAgain);
        char buffer[64];
        pollfd entry{master, POLLIN, 0};
        if (poll(&entry, 1, 0) > 0) {
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                wire.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    // The wire from the link: ACK of the greeting, request, ACK of the good reply, second
    // request, NAK.
    EXPECT_EQ(wire, "\x06" + kSaveRequest.substr(0, 7) + std::string("\x03\x2E", 2) + "\x06" +
                        kSaveRequest.substr(0, 7) + std::string("\x03\x2E", 2) + "\x15");
}

TEST_F(HeldLineTest, TheReplyTimeOutRunsFromTheAcknowledgement) {
    hold(79);
    LinkSettings settings = fastLink(79);
    settings.receiveTimeout = 0.4;
    settings.ackTimeout = 1.0;
    SerialScaleLink link(jobLineSettings(), settings);
    std::uint8_t code = 0;
    std::string identification;
    greet(link, code, identification);
    Reply reply;
    auto step = [&] {
        return link.transfer(reply.code, reply.firstByte, kSaveRequest, reply.payload);
    };
    auto stepFor = [&](int milliseconds) {
        const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
        while (Clock::now() < until) {
            ASSERT_EQ(step(), StepResult::CallAgain);
        }
    };
    ASSERT_EQ(step(), StepResult::CallAgain);  // the request goes out
    // A late acknowledgement, and the reply within the reply time-out after it: together far
    // beyond the reply time-out after the request, and still no error 25.
    stepFor(300);
    send("\x06");
    stepFor(300);
    send(std::string("\x02\x17]01\x17q\x03\x2C", 9));
    runToCompletion(step);
    EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));

    // A reply that stops after its first bytes is no reply: error 25 once the time is up.
    ASSERT_EQ(step(), StepResult::CallAgain);
    send(std::string("\x06\x02\x17]01", 6));
    EXPECT_EQ(runToFailure(step), message(25));
}

TEST_F(LinkTest, ScaleCanPauseAfterARecordUntilReleased) {
    std::string data = dir_.file("tables.txt");
    testing_support::writeFile(data, "table 1 50\nrecord P\\x17a\nrecord P\\x17b\n");
    std::string release = dir_.file("go");
    auto scale = startScale(74, {"--data", data, "--pause-after", "1", "--release-file", release});
    LinkSettings settings = fastLink(74);
    settings.receiveTimeout = 5.0;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    const std::string tableRequest("\x02\x17]01\x17uP\x17", 9);
    EXPECT_EQ(roundTrip(link, tableRequest).firstByte, 'd');
    // The second request is acknowledged but not answered while the scale pauses.
    Reply reply;
    auto until = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < until) {
        ASSERT_EQ(link.transfer(reply.code, reply.firstByte, tableRequest, reply.payload),
                  StepResult::CallAgain);
    }
    EXPECT_TRUE(link.isBusy());
    testing_support::writeFile(release, "");
    runToCompletion(
        [&] { return link.transfer(reply.code, reply.firstByte, tableRequest, reply.payload); });
    EXPECT_EQ(reply.payload.substr(0, 5), std::string("dP\x17"
                                                      "b\x03"));
}

TEST_F(LinkTest, ScaleEndsTablesWithWReplyWhenAsked) {
    auto scale = startScale(75, {"--w-reply", "5"});
    SerialScaleLink link(jobLineSettings(), fastLink(75));
    connect(link);
    Reply end = roundTrip(link, std::string("\x02\x17]01\x17u\x7E\x17", 9));
    EXPECT_EQ(end.firstByte, 'w');
    EXPECT_EQ(end.payload.substr(0, 3), "w5\x03");
}

TEST_F(LinkTest, ModelSevenHundredScaleUsesItsOwnLetters) {
    std::string data = dir_.file("tables.txt");
    testing_support::writeFile(data,
                               "table 1 7E\nrecord \\x7E\\x17meta\ntable 1 41\nrecord A\\x17art\n");
    auto scale = startScale(76, {"--data", data, "--ident", "1097400700"});
    SerialScaleLink link(jobLineSettings(), fastLink(76));
    connect(link);
    // "q*" serves the lowest data table below the meta-tables, records come as 1Ch.
    Reply record = roundTrip(link, std::string("\x02\x17]01\x17q*\x17", 9));
    EXPECT_EQ(record.firstByte, '\x1C');
    const std::string expected(
        "\x1C"
        "A\x17"
        "art\x03",
        7);
    EXPECT_EQ(record.payload.substr(0, 7), expected);
    // A record sent with 1Ch is stored; "q&" ends the connection.
    roundTrip(link, std::string("\x02\x17]01\x17\x1C"
                                "A\x17new\x17",
                                13));
    roundTrip(link, std::string("\x02\x17]01\x17q&\x17", 9));
    ASSERT_TRUE(scale->stop());
    EXPECT_EQ(countLinesStartingWith(readLines(transcript()), "store 01 41 A\\x17new"), 1);
}

TEST_F(LinkTest, PacedScaleTakesTheTimeOfA9600BaudLine) {
    std::string data = dir_.file("tables.txt");
    testing_support::writeFile(data, "table 1 41\nrecord A\\x17" + std::string(200, 'x') + "\n");
    auto scale = startScale(77, {"--data", data, "--pace"});
    LinkSettings settings = fastLink(77);
    settings.pause = 0;
    SerialScaleLink link(jobLineSettings(), settings);
    connect(link);
    auto start = Clock::now();
    Reply reply = roundTrip(link, std::string("\x02\x17]01\x17uA\x17", 9));
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(reply.payload.size(), 205u);
    // 9 request bytes, ACK and 211 reply bytes at 11 bits per byte and 9600 baud: 254 ms.
    EXPECT_GE(elapsed, 250);
}

TEST_F(LinkTest, ScaleEndsCleanlyOnTerminationAndRemovesItsLink) {
    auto scale = startScale(78, {});
    struct stat info {};
    EXPECT_EQ(lstat(comPath(78).c_str(), &info), 0);
    EXPECT_TRUE(scale->stop());
    EXPECT_NE(lstat(comPath(78).c_str(), &info), 0);
}

#endif
