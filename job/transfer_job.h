#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "catalog/table_catalog.h"
#include "diag/link_settings.h"
#include "diag/messages.h"
#include "job/backup_files.h"
#include "job/job_parameters.h"
#include "job/table_send_list.h"
#include "link/scale_link.h"
#include "platform/line_settings.h"
#include "platform/platform.h"

class CsvTable;
class HeldRecords;
class Table;

// What a job is given (the process gathers it, see app/job_setup.h): the job string as parsed
// and the settings of the link.
struct JobInputs {
    JobParseResult job;
    LinkSettings linkSettings;
    LineSettings lineSettings;
};

// The one job of the process. The constructor makes the link from the job's inputs; runStep
// then drives the exchange with the scale as a state machine whose every step returns quickly,
// so that the worker thread can call it again and again while the main thread serves the
// window.
class TransferJob {
  public:
    // Makes the job's link from the line settings and the link settings the job determined.
    using LinkFactory =
        std::function<std::unique_ptr<ScaleLink>(const LineSettings&, const LinkSettings&)>;
    // The pause before the first record request of every table, in both directions.
    static constexpr std::uint32_t kTablePauseMs = 500;

    // The job over the link that `makeLink` makes (the serial port, or a scale played by a
    // test), pausing `tablePauseMs` before each table.
    TransferJob(const JobInputs& inputs, const LinkFactory& makeLink,
                std::uint32_t tablePauseMs = kTablePauseMs);
    // Deletes the translation table, closes the link (logging message 35) and the tables.
    ~TransferJob();
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // One step of the job: CallAgain, Complete (the job has finished) or Ended (ended without
    // an error of its own). Throws QmComExceptions for every failure. Worker thread only.
    StepResult runStep();

    // Asks the job to stop. The link makes no further repeat and gives up an exchange under way
    // within a second; the job then tries the end request once and ends. Callable from any
    // thread.
    void requestStop();

    // Creates the one directory `path` (not its parents); true when it exists afterwards.
    static bool makeDirectory(const std::string& path) {
        return !path.empty() && platform::makeDirectory(path);
    }

  private:
    enum class State : std::uint8_t {
        Introduce = 0,
        Connect = 1,
        Identify = 2,
        SelectTables = 3,
        StartSendPass = 4,
        StartConfigSendPass = 5,
        NextConfigNumberToSend = 6,
        NextTableToSend = 7,
        SendRecords = 8,
        StartFetchPass = 9,
        StartConfigFetchPass = 10,
        NextTableToFetch = 11,
        FetchRecords = 12,
        Finish = 13,
        AbortWithError = 14,
        FetchTdes = 15,
        FetchAdes = 16,
        StoreDescriptions = 17,
        StopOnRequest = 18,
    };

    StepResult introduce();
    StepResult connect();
    StepResult identify();
    StepResult selectTables();
    StepResult startPass(State next, std::uint8_t number, bool configPass);
    StepResult nextConfigNumberToSend();
    StepResult nextTableToSend();
    StepResult sendRecords();
    StepResult nextTableToFetch();
    StepResult fetchRecords();
    StepResult finish();
    StepResult abortWithError();
    StepResult startFetch(CsvTable& table, std::uint8_t descFetch, bool model700);
    StepResult storeDescriptions();
    StepResult stopOnRequest();

    // One step of the exchange of `request_`: true once the reply is in. exchangeGivenUp_ tells
    // whether the link gave the exchange up after a stop request.
    bool exchange();
    void fail(Message message);
    void setCurrentNumber(std::uint8_t number);
    void showAndLogNumber();

    State state_ = State::Introduce;
    JobParseResult job_;
    LinkSettings linkSettings_;
    LineSettings lineSettings_;
    std::unique_ptr<ScaleLink> link_;
    std::uint32_t tablePauseMs_ = kTablePauseMs;
    // The shipped files (translation table, the two built-in description directories) lie in
    // the program directory; the settings file and fetched descriptions in the data directory.
    std::string programDir_;
    std::string dataDir_;
    TableCatalog catalog_;
    std::uint8_t scaleNumber_ = 0;
    std::uint8_t currentNumber_ = 0;
    Message pendingError_ = Message::UnknownScaleType;
    CsvTable* currentTable_ = nullptr;
    std::uint32_t tableIndex_ = 0;
    std::string header_;
    // Starts at 0 so that a first reply of an unknown kind makes the job ask again.
    SendResult lastResult_ = SendResult{0};
    std::string payload_;
    char replyKind_ = 0;
    std::string identification_;
    std::string request_;
    std::string statusText_;
    bool configPass_ = false;
    bool confDataSent_ = false;
    std::atomic<bool> stopRequested_{false};
    bool connected_ = false;
    std::uint8_t descFetch_ = 0;
    std::string descDir_;
    bool model700_ = false;
    bool exchangeGivenUp_ = false;
    // Replies of a kind the job does not handle, since the current table was first requested.
    int unknownReplies_ = 0;
    // Every (table, file number) this job fetched, and those for which the scale sent a
    // record: a file fetched empty is written with its headings only, so that an old file
    // cannot bring deleted records back. The file number is the table's (CsvTable::csvFileNumber).
    FetchedFiles fetched_;
    FetchedFiles fetchedWithRecords_;
    // What the scale is known to hold, and the records of the table being sent.
    std::unique_ptr<HeldRecords> held_;
    TableSendList sendList_;
    std::uint32_t sendListSize() const { return static_cast<std::uint32_t>(sendList_.size()); }
    std::uint32_t recordsFetched_ = 0;
};
