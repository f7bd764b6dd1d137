// The transfer job: its parts that need no scale, and whole jobs against a scale played by the
// test through a fake link (the end-to-end tests run the same against the simulated scale).
#include "job/transfer_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/job_setup.h"
#include "diag/job_log.h"
#include "diag/process_hooks.h"
#include "diag/qm_com_exceptions.h"
#include "diag/version.h"
#include "fake_scale_link.h"
#include "job_test_support.h"
#include "platform/platform.h"
#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::fileExists;
using testing_support::ProcessFixture;
using testing_support::TempDir;
using testing_support::writeFile;

// ---- whole jobs against a scale played by the test ----

namespace {

using testing_support::FakeRequest;
using testing_support::FakeScaleLink;
using testing_support::fileExists;
using testing_support::readFile;
using testing_support::ScriptedScale;
using testing_support::writeFile;

// DEPT of the model-701 descriptions: DNUM (61h, binary key), DNAM (62h, translated text),
// DTAX (63h, digits). Worked out by hand: key 5 is the byte 05h, coded 25h ("%"); "MEAT" is
// coded byte by byte (+20h) and ended by a coded 0 (20h); tax 2 is 22h.
const std::string kDept5(
    "B\x17"
    "a%\x17"
    "bmeat \x17"
    "c\"");
const std::string kDept6(
    "B\x17"
    "a&\x17"
    "bfish \x17"
    "c#");
const std::string kDeptHeading =
    "DNUM;DNAM;DTAX;\r\nDEPARTMENT NUMBER;DEPARTMENT NAME;TAX RATE;\r\n";
const std::string kDeptFile = kDeptHeading + "5;MEAT;2\r\n6;FISH;3\r\n";
// CONF (90h, one record per number): CDIV 5 (25h), CMAX 7 (27h), CLBL "LBL", CPRN "A" raw.
const std::string kConfRecord(
    "\x90\x17"
    "a%\x17"
    "b'\x17"
    "clbl \x17"
    "dA");
const std::string kConfHeading = "CDIV;CMAX;CLBL;CPRN;\r\n";
const std::string kConfFile = kConfHeading + "D;M;L;P;\r\n5;7;LBL;A\r\n";

const std::string kEnd = "e";
const std::string kUpDept = "uB";

class JobRun : public WithMessageTexts {
  protected:
    void SetUp() override {
        WithMessageTexts::SetUp();
        work_ = dir_.file("work");
        scale_.tables[{1, 'B'}] = {kDept5, kDept6};
    }
    void TearDown() override {
        endJob();
        WithMessageTexts::TearDown();
    }
    // Deletes the job and its log, as the process does at its end.
    void endJob() {
        job_.reset();
        delete g_log;
        g_log = nullptr;
    }

    // Builds the job with the fake link; `options` follow KWDIR.
    TransferJob& start(const std::string& kind, const std::string& options) {
        job_ = std::make_unique<TransferJob>(
            prepareJob(kind + ";KWDIR[" + work_ + "]" + options),
            [this](const LineSettings&, const LinkSettings&) {
                auto link = std::make_unique<FakeScaleLink>();
                link->identification = identification_;
                link->greetingSteps = greetingSteps_;
                link->reply = [this](const FakeRequest& r) {
                    return reply_ ? reply_(r) : scale_.reply(r);
                };
                link_ = link.get();
                return link;
            },
            0);
        return *job_;
    }
    // Runs the job until it ends; the result of its last step.
    StepResult run(const std::string& kind, const std::string& options) {
        start(kind, options);
        return finish();
    }
    StepResult finish() {
        for (int step = 0; step < 100000; ++step) {
            const StepResult result = job_->runStep();
            if (result != StepResult::CallAgain) {
                return result;
            }
        }
        ADD_FAILURE() << "the job did not end";
        return StepResult::CallAgain;
    }
    void steps(int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(job_->runStep(), StepResult::CallAgain);
        }
    }
    int logged(const std::string& text) const {
        int count = 0;
        for (const std::string& line : g_log->lines()) {
            count += line.size() >= text.size() &&
                     line.compare(line.size() - text.size(), text.size(), text) == 0;
        }
        return count;
    }
    std::string workFile(const std::string& name) const { return work_ + "/" + name; }

    testing_support::TempDir dir_;
    std::string work_;
    std::string identification_ = "1097401701";
    int greetingSteps_ = 1;
    ScriptedScale scale_;
    std::function<std::string(const FakeRequest&)> reply_;
    std::unique_ptr<TransferJob> job_;
    FakeScaleLink* link_ = nullptr;
};

std::vector<std::string> strings(std::initializer_list<std::string> list) {
    return list;
}

}  // namespace

TEST_F(JobRun, FetchAsksAgainAfterEveryRecordAndWritesTheFilesAtTheEnd) {
    greetingSteps_ = 3;
    EXPECT_EQ(run("KWUP", ";KWTAB[DEPT]"), StepResult::Complete);
    EXPECT_EQ(link_->openCalls, 4);
    ASSERT_EQ(link_->sentBytes.size(), 4u);
    EXPECT_EQ(link_->sentBytes[0], "\x02\x17]01\x17uB\x17");
    EXPECT_EQ(link_->sentBytes[3],
              "\x02\x17]01\x17"
              "e\x17");
    EXPECT_EQ(link_->contents(), strings({kUpDept, kUpDept, kUpDept, kEnd}));
    EXPECT_EQ(readFile(workFile("DEPT.csv")), kDeptFile);
    EXPECT_FALSE(fileExists(workFile("TEXT.csv")));
    EXPECT_EQ(readFile(work_ + ".sca"), kVersionBanner);
    EXPECT_EQ(logged(messageText(33)), 1);
    EXPECT_EQ(logged(messageText(37)), 0);
}

TEST_F(JobRun, WRepliesEndTheTableAndOnlyTwoAndThreeAreLogged) {
    for (char detail : std::string("23456")) {
        SCOPED_TRACE(detail);
        scale_.tables.clear();
        scale_.tableEnd = std::string("w") + detail;
        EXPECT_EQ(run("KWUP", ";KWTAB[DEPT]"), StepResult::Complete);
        EXPECT_EQ(link_->contents(), strings({kUpDept, kEnd}));
        EXPECT_EQ(logged(messageText(37)), detail <= '3' ? 1 : 0);
        endJob();
    }
}

TEST_F(JobRun, RepliesOfOtherKindsAskForTheSameRecordAgain) {
    // After a record, after nothing, and "w" with a detail outside 2..6: asked again.
    const std::vector<std::string> replies = {"d" + kDept5, "w7", "x", "w1", "w", "q"};
    std::size_t next = 0;
    reply_ = [&](const FakeRequest& r) {
        return r.content == kUpDept && next < replies.size() ? replies[next++] : "q";
    };
    EXPECT_EQ(run("KWUP", ";KWTAB[DEPT]"), StepResult::Complete);
    EXPECT_EQ(link_->contents(),
              strings({kUpDept, kUpDept, kUpDept, kUpDept, kUpDept, kUpDept, kEnd}));
    EXPECT_EQ(logged(messageText(37)), 0);
    EXPECT_EQ(readFile(workFile("DEPT.csv")), kDeptHeading + "5;MEAT;2\r\n");
}

TEST_F(JobRun, ConfigurationFetchAsksOnlyForTheNumbersOfItsRange) {
    // Records under every number the scale knows, 0 to 4; the job asks for 0 to 3.
    for (int number = 0; number <= 4; ++number) {
        scale_.tables[{number, '\x90'}] = {kConfRecord};
    }
    EXPECT_EQ(run("KWBACKUP[0,3]", ""), StepResult::Complete);
    std::vector<int> numbers;
    for (const FakeRequest& r : link_->requests) {
        if (r.content.size() == 2 && r.content[0] == 'u' &&
            static_cast<unsigned char>(r.content[1]) >= 0x80 &&
            (numbers.empty() || numbers.back() != r.number)) {
            numbers.push_back(r.number);
        }
    }
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3}));
    for (const char* name : {"CONF00.csv", "CONF03.csv"}) {
        EXPECT_EQ(
            readFile(workFile(name)),
            kConfHeading + "DIVISION;MAXIMUM LOAD;LABEL FORMAT;PRINTER MODE;\r\n5;7;LBL;A\r\n")
            << name;
    }
    EXPECT_FALSE(fileExists(workFile("CONF04.csv")));
    EXPECT_FALSE(fileExists(workFile("KEYB04.csv")));
    endJob();

    // A range given backwards is its first number alone.
    scale_ = ScriptedScale();
    scale_.tables[{3, '\x90'}] = {kConfRecord};
    std::remove(workFile("CONF03.csv").c_str());
    EXPECT_EQ(run("KWUP", ";KWCONF[3,1]"), StepResult::Complete);
    EXPECT_EQ(link_->contents(), strings({"u\x90", "u\x91", kEnd}));
    for (const FakeRequest& r : link_->requests) {
        EXPECT_EQ(r.number, 3) << r.content;
    }
    EXPECT_TRUE(fileExists(workFile("CONF03.csv")));
}

TEST_F(JobRun, ConfigurationSendStaysInItsRangeAndSavesOnlyNumbersWithData) {
    ASSERT_TRUE(platform::makeDirectory(work_));
    writeFile(workFile("CONF02.csv"), kConfFile);
    writeFile(workFile("CONF04.csv"), kConfFile);
    EXPECT_EQ(run("KWDOWN", ";KWCONF[1,3]"), StepResult::Complete);
    ASSERT_EQ(link_->requests.size(), 3u);
    EXPECT_EQ(link_->requests[0].number, 2);
    EXPECT_EQ(link_->requests[0].content, "d" + kConfRecord);
    EXPECT_EQ(link_->requests[1].number, 2);
    EXPECT_EQ(link_->requests[1].content, "s");
    EXPECT_EQ(link_->requests[2].content, kEnd);
    // Numbers 1 and 3 had nothing to send in either table, number 2 nothing in KEYB.
    EXPECT_EQ(logged(messageText(37)), 5);
    EXPECT_EQ(logged(messageText(36)), 1);
    EXPECT_EQ(logged("No file to send for table KEYB (PRESET KEYS)"), 1);
    EXPECT_FALSE(fileExists(work_ + ".sca"));
}

TEST_F(JobRun, SendGoesRecordByRecordTablesFirstThenConfiguration) {
    ASSERT_TRUE(platform::makeDirectory(work_));
    writeFile(workFile("DEPT.csv"), kDeptFile);
    writeFile(workFile("CONF02.csv"), kConfFile);
    EXPECT_EQ(run("KWDOWN", ";KWCONF[2,2];KWTAB[DEPT]"), StepResult::Complete);
    ASSERT_EQ(link_->sentBytes.size(), 5u);
    // The record request: header, "d", the table's sign, ETB, the groups.
    EXPECT_EQ(link_->sentBytes[0], "\x02\x17]01\x17" + std::string("d") + kDept5 + "\x17");
    EXPECT_EQ(link_->contents(),
              strings({"d" + kDept5, "d" + kDept6, "d" + kConfRecord, "s", kEnd}));
    EXPECT_EQ(link_->requests[2].number, 2);
    EXPECT_EQ(logged(messageText(37)), 1);  // KEYB has nothing under 2
    EXPECT_FALSE(fileExists(workFile("TDES.csv")));
}

TEST_F(JobRun, Model701UsesItsBundledDescriptionsAndAsksForNone) {
    // TEXT and KEYB exist only in the model-701 descriptions.
    scale_.tables[{1, 'D'}] = {
        "D\x17"
        "a0042\x17"
        "b12HI\x17"};
    EXPECT_EQ(run("KWUP", ";KWTAB[TEXT];KWCONF[0,0]"), StepResult::Complete);
    EXPECT_EQ(link_->contents(), strings({"uD", "uD", "u\x90", "u\x91", kEnd}));
    EXPECT_THAT(readFile(workFile("TEXT.csv")), testing::HasSubstr("\r\n42;2HI;\r\n"));
}

TEST_F(JobRun, Model700UsesItsOwnLettersForTablesRecordsAndTheEnd) {
    identification_ = "1097401700";
    EXPECT_EQ(run("KWUP", ";KWTAB[DEPT]"), StepResult::Complete);
    ASSERT_EQ(link_->sentBytes.size(), 4u);
    EXPECT_EQ(link_->sentBytes[0], "\x02\x17]01\x17q*\x17");
    EXPECT_EQ(link_->sentBytes[3], "\x02\x17]01\x17q&\x17");
    EXPECT_EQ(readFile(workFile("DEPT.csv")), kDeptFile);
    endJob();

    EXPECT_EQ(run("KWDOWN", ";KWTAB[DEPT]"), StepResult::Complete);
    EXPECT_EQ(link_->contents(), strings({"\x1C" + kDept5, "\x1C" + kDept6, "q&"}));
}

TEST_F(JobRun, IdentificationsOfTenToThirteenCharactersAreAccepted) {
    namespace fs = std::filesystem;
    const std::string program = platform::programDirectory();
    // A scale of another kind whose descriptions were fetched before.
    const std::string thirteen = "KWTEST-000013";
    fs::create_directories(fs::path(program) / thirteen);
    for (const char* name : {"TDES.csv", "ADES.csv"}) {
        fs::copy_file(fs::path(program) / "109SCALE701" / name, fs::path(program) / thirteen / name,
                      fs::copy_options::overwrite_existing);
    }
    struct Case {
        std::string identification;
        int error;  // 0: accepted
    };
    const std::vector<Case> cases = {
        // Too short, too long, or a name that would leave the program directory.
        {"109740170", 29},
        {"KWTEST-0000014", 29},
        {"../../evil", 29},
        {"KWSIM/GEN/01", 29},
        {"1097401701", 0},
        {thirteen, 0},
        {"1087401701", 27},
        {"1097401699", 27},
        // Above 701, or another variant: a directory of its own, fetched (empty here).
        {"1097401702", 31},
        {"1097501700", 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identification);
        identification_ = c.identification;
        if (c.error == 0) {
            EXPECT_EQ(run("KWUP", ";KWTAB[DEPT]"), StepResult::Complete);
            EXPECT_EQ(link_->contents(), strings({kUpDept, kUpDept, kUpDept, kEnd}));
        } else {
            EXPECT_EQ(thrownText([&] { run("KWUP", ";KWTAB[DEPT]"); }), messageText(c.error));
            // The end request is exchanged before the error is reported.
            ASSERT_FALSE(link_->requests.empty());
            EXPECT_EQ(link_->requests.back().content, kEnd);
            if (c.error == 31) {
                EXPECT_EQ(link_->contents(), strings({"u~", "u\x7F", kEnd}));
            }
        }
        endJob();
    }
    for (const char* made : {"KWTEST-000013", "1097401702", "1097501700"}) {
        fs::remove_all(fs::path(program) / made);
    }
}

TEST_F(JobRun, AnUnconvertibleTextInTheFirstColumnIsError40BeforeAnythingIsSent) {
    ASSERT_TRUE(platform::makeDirectory(work_));
    // A UTF-8 file whose first column holds an omega, which has no Windows-1252 byte.
    writeFile(workFile("DEPT.csv"),
              "\xEF\xBB\xBF"
              "DNAM;DNUM;DTAX;\r\nN;K;T;\r\nMEAT;5;2\r\n\xCE\xA9;6;3\r\n");
    EXPECT_EQ(thrownText([&] { run("KWDOWN", ";KWTAB[DEPT]"); }), messageText(40));
    EXPECT_EQ(link_->contents(), strings({kEnd}));
    EXPECT_EQ(logged("Invalid value in table DEPT, key 6, column DNAM: \"\xCE\xA9\""), 1);
}

TEST_F(JobRun, AStopAfterAnErrorWasFoundStillReportsTheError) {
    identification_ = "SHORT";
    greetingSteps_ = 0;
    start("KWUP", ";KWTAB[DEPT]");
    steps(3);  // introduce, connect, identify: the error is found
    job_->requestStop();
    EXPECT_EQ(thrownText([&] { finish(); }), messageText(29));
    EXPECT_EQ(link_->contents(), strings({kEnd}));
}

TEST_F(JobRun, AStopWhileWaitingForTheGreetingEndsAtOnceWithoutAnyRequest) {
    greetingSteps_ = 1000000;
    start("KWUP", ";KWTAB[DEPT]");
    steps(20);
    job_->requestStop();
    EXPECT_EQ(job_->runStep(), StepResult::Ended);
    EXPECT_TRUE(link_->requests.empty());
}

TEST_F(JobRun, AStopInTheMiddleOfAnExchangeLetsItFinishThenEndsTheConnection) {
    start("KWUP", ";KWTAB[DEPT]");
    while (link_->requests.empty()) {
        ASSERT_EQ(job_->runStep(), StepResult::CallAgain);
    }
    ASSERT_TRUE(link_->isBusy());
    job_->requestStop();
    EXPECT_EQ(finish(), StepResult::Ended);
    EXPECT_EQ(link_->contents(), strings({kUpDept, kEnd}));
    EXPECT_FALSE(fileExists(workFile("DEPT.csv")));
    EXPECT_FALSE(fileExists(work_ + ".sca"));
}

TEST_F(JobRun, LinkErrorsEndTheJobWithoutAnEndRequest) {
    for (int error : {24, 25}) {
        reply_ = [error](const FakeRequest&) -> std::string { throw QmComExceptions(error); };
        EXPECT_EQ(thrownText([&] { run("KWUP", ";KWTAB[DEPT]"); }), messageText(error));
        EXPECT_EQ(link_->contents(), strings({kUpDept}));
        endJob();
    }
}
