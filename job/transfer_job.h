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
#include "job/job_parameters.h"
#include "job/table_send_list.h"
#include "link/scale_link.h"
#include "platform/line_settings.h"

class HeldRecords;
class Table;

// The one job of the process. The constructor gathers every input (job string, working
// directory, log, character translation, link settings, the link); runStep then drives the
// exchange with the scale as a state machine whose every step returns quickly, so that the
// worker thread can call it again and again while the main thread serves the window.
class TransferJob {
  public:
    // Step results.
    static constexpr std::uint8_t kEnded = 0;     // ended without an error of its own
    static constexpr std::uint8_t kFinished = 1;  // the job is complete
    static constexpr std::uint8_t kCallAgain = 2;

    // Makes the job's link from the line settings and the link settings the job determined.
    using LinkFactory =
        std::function<std::unique_ptr<ScaleLink>(const LineSettings&, const LinkSettings&)>;
    // The pause before the first record request of every table, in both directions.
    static constexpr std::uint32_t kTablePauseMs = 500;

    // Throws QmComExceptions: 1 (job string), 32 (working directory), 41 (another job holds
    // the working directory's lock file), 7 and 8 (translation file), 9 (configuration file).
    explicit TransferJob(const std::string& commandLine);
    // The same job over the link that `makeLink` makes, pausing `tablePauseMs` before each
    // table: lets a test play the scale without a serial line.
    TransferJob(const std::string& commandLine, const LinkFactory& makeLink,
                std::uint32_t tablePauseMs = kTablePauseMs);
    // Deletes the translation table, closes the link (logging message 35) and the tables.
    virtual ~TransferJob();
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // One step of the job: kCallAgain, kFinished or kEnded. Throws QmComExceptions for every
    // failure. Worker thread only.
    std::uint8_t runStep();

    // Asks the job to stop. The link makes no further repeat and gives up an exchange under way
    // within a second; the job then tries the end request once and ends. Callable from any
    // thread.
    void requestStop();
    bool isActive() const { return active_; }
    void clearActive() { active_ = false; }

    // Creates the one directory `path` (not its parents); true when it exists afterwards.
    static bool makeDirectory(const std::string& path);

    // The name of the marker file of a job from the scale: beside the working directory, named
    // after it, with the extension ".sca" ("C:\DATA\" and "DATA" give "C:\DATA.sca").
    static std::string markerFileName(const std::string& workDir, const std::string& dirName,
                                      std::string::size_type firstExaminedPosition);

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

    std::uint8_t introduce();
    std::uint8_t connect();
    std::uint8_t identify();
    std::uint8_t selectTables();
    std::uint8_t startPass(State next, std::uint8_t number, bool configPass);
    std::uint8_t nextConfigNumberToSend();
    std::uint8_t nextTableToSend();
    std::uint8_t sendRecords();
    std::uint8_t nextTableToFetch();
    std::uint8_t fetchRecords();
    std::uint8_t finish();
    std::uint8_t abortWithError();
    std::uint8_t fetchDescriptionTable(Table& table, std::uint8_t descFetch, State next);
    std::uint8_t storeDescriptions();
    std::uint8_t stopOnRequest();

    // One step of the exchange of `request_`: true once the reply is in. exchangeGivenUp_ tells
    // whether the link gave the exchange up after a stop request.
    bool exchange();
    // The longest reply the link takes: from the largest record the catalog's tables describe.
    void setReplyLimit();
    void fail(std::int32_t messageNumber);
    void setCurrentNumber(std::uint8_t number);
    void showAndLogNumber();
    std::string endRequest() const;
    std::string recordRequestStart() const;
    bool identificationIsSafe() const;
    bool eligibleToSend(const Table& table) const;
    bool eligibleToFetch(const Table& table) const;
    bool checkTablesToSend(const std::set<std::string>& missingFiles);
    bool writeTablesFetchedEmpty();
    bool logTablesWrittenAsFetched();
    void logTablesKeptAsTheyAre();
    // The job sends `table` (one kept per scale) for this number.
    bool sendsNumber(const Table& table, std::int32_t number) const;
    // What the scale holds: read once the scale is known, saved every few seconds while records
    // move, at the end of every table and when the job ends (also early).
    void loadHeldRecords();
    void saveHeldRecords(bool now);
    void startSendingList();

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
    std::int32_t pendingError_ = 0;
    Table* currentTable_ = nullptr;
    std::int32_t identModel_ = 0;
    std::int32_t identVariant_ = 0;
    std::int32_t identType_ = 0;
    std::uint32_t tableIndex_ = 0;
    std::string header_;
    // Starts at 0 so that a first reply of an unknown kind makes the job ask again.
    std::uint8_t lastResult_ = 0;
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
    std::atomic<bool> active_{true};
    bool model700_ = false;
    bool exchangeGivenUp_ = false;
    // Replies of a kind the job does not handle, since the current table was first requested.
    int unknownReplies_ = 0;
    // Every (table, file number) this job fetched, and those for which the scale sent a
    // record: a file fetched empty is written with its headings only, so that an old file
    // cannot bring deleted records back. The file number is the table's (Table::csvFileNumber).
    std::set<std::pair<Table*, int>> fetched_;
    std::set<std::pair<Table*, int>> fetchedWithRecords_;
    // What the scale is known to hold, and the records of the table being sent.
    std::unique_ptr<HeldRecords> held_;
    std::uint64_t heldSavedAt_ = 0;
    TableSendList sendList_;
    std::size_t sendIndex_ = 0;
    std::uint32_t recordsFetched_ = 0;
};
