#include "job/transfer_job.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diag/config_file.h"
#include "diag/escaped_bytes.h"
#include "diag/held_records.h"
#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/output_file.h"
#include "diag/qm_com_exceptions.h"
#include "diag/status_lines.h"
#include "diag/version.h"
#include "dictionary/char_translation.h"
#include "dictionary/table.h"
#include "link/serial_scale_link.h"
#include "platform/platform.h"
#include "tables/keyed_table.h"

namespace {

constexpr char kStx = 0x02;
constexpr char kEtb = 0x17;
// The model-700 scale's letters for a record (instead of "d").
constexpr char kModel700Record = 0x1C;
// Files of configuration tables carry the numbers 00 to 10.
constexpr int kLastFileNumber = 10;
// Replies of a kind the job cannot use, while fetching one table, after which the job ends.
constexpr int kMostUnknownReplies = 10;
// Errors of this Part's own.
constexpr std::int32_t kOutputNotWritten = 38;
constexpr std::int32_t kDirectoryInUse = 41;
constexpr std::int32_t kUnknownReply = 42;
constexpr std::int32_t kFileNotRead = 43;
// What the scale holds is saved at least this often while records move.
constexpr std::uint64_t kHeldSaveIntervalMs = 2000;
// Room in a reply frame beyond the largest record: header, kind, ETX, block check and more.
constexpr std::size_t kReplyHeadroom = 4096;

// The most bytes a record of `table` can take on the wire: every value byte may need three
// bytes, each field a terminator and a separator, each attribute its sign and ETB.
std::size_t largestRecordBytes(const Table& table) {
    const TableDescription& description = table.description();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < description.attributeCount; ++i) {
        const AttributeDescription& attribute = description.attributes[i];
        bytes += 3 * (attribute.byteCount + attribute.fieldCount) + attribute.fieldCount + 2;
    }
    return bytes;
}

std::string format(const char* pattern, ...) {
    char buffer[128];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

std::string text(std::int32_t number) {
    return g_messageTexts != nullptr ? g_messageTexts->text(number) : std::string();
}

void log(const std::string& entry) {
    if (g_log != nullptr) {
        g_log->add(entry);
    }
}

void logMessage(std::int32_t number) {
    if (g_log != nullptr) {
        g_log->addMessage(number);
    }
}

void showAndLog(void (*show)(const std::string&), const std::string& line) {
    show(line);
    log(line);
}

// The header of every request to scale (or configuration) number n: STX ETB "]" nn ETB.
std::string headerFor(std::uint8_t number) {
    return format("%c%c]%02d%c", kStx, kEtb, number, kEtb);
}

}  // namespace

TransferJob::TransferJob(const std::string& commandLine)
    : TransferJob(commandLine, [](const LineSettings& line, const LinkSettings& link) {
          return std::make_unique<SerialScaleLink>(line, link);
      }) {}

TransferJob::TransferJob(const std::string& commandLine, const LinkFactory& makeLink,
                         std::uint32_t tablePauseMs)
    : tablePauseMs_(tablePauseMs) {
    programDir_ = platform::programDirectory();
    dataDir_ = platform::dataDirectory();
    job_ = JobParameters(commandLine).result();
    if (!makeDirectory(job_.workDir)) {
        throw QmComExceptions(32);
    }
    // One job at a time in a directory. A directory the job cannot create the lock file in
    // (read-only, say) is used without it: nothing is written there anyway.
    // A lock file someone else made (a link, a FIFO, another user's file) is not used: the job
    // ends as if the directory were in use, and says why.
    platform::FileLock* lock = nullptr;
    std::string refusal;
    switch (platform::lockFile(job_.workDir + "Kwlink.lck", lock, refusal)) {
        case platform::LockResult::HeldByOther:
            throw QmComExceptions(kDirectoryInUse);
        case platform::LockResult::Refused:
            throw QmComExceptions(text(kDirectoryInUse) + " (" + refusal + ")");
        default:
            break;
    }
    if (lock != nullptr) {
        removeStaleTemporaryFiles(job_.workDir);
    }
    g_log = new JobLog(job_.workDir);
    g_log->holdLock(lock);
    g_charTranslation = nullptr;
    g_charTranslation = new CharTranslation(programDir_);
    {
        ConfigFile config(dataDir_);
        if (job_.portGiven) {
            config.setPort(static_cast<std::uint32_t>(job_.port));
        }
        config.getSettings(linkSettings_);
    }
    lineSettings_ = LineSettings();
    lineSettings_.baudRate = 9600;
    lineSettings_.format.dataBits = 7;
    lineSettings_.format.parity = 1;
    lineSettings_.format.stopBits = 0;
    lineSettings_.handshake = 0;
    lineSettings_.inputQueueSize = 4096;
    lineSettings_.outputQueueSize = 4096;
    link_ = makeLink(lineSettings_, linkSettings_);
    setReplyLimit();
}

void TransferJob::requestStop() {
    stopRequested_ = true;
    if (link_) {
        link_->requestStop();
    }
}

void TransferJob::setReplyLimit() {
    std::size_t largest =
        std::max(largestRecordBytes(catalog_.tdes()), largestRecordBytes(catalog_.ades()));
    for (std::size_t i = 0; i < catalog_.tableCount(); ++i) {
        if (const Table* table = catalog_.tableAt(i)) {
            largest = std::max(largest, largestRecordBytes(*table));
        }
    }
    link_->setReplyLimit(largest + kReplyHeadroom);
}

TransferJob::~TransferJob() {
    // A job that ends early keeps what the scale acknowledged until then.
    if (held_) {
        held_->save();
    }
    delete g_charTranslation;
    g_charTranslation = nullptr;
    if (link_) {
        link_.reset();
        logMessage(35);
    }
}

bool TransferJob::makeDirectory(const std::string& path) {
    return !path.empty() && platform::makeDirectory(path);
}

std::uint8_t TransferJob::runStep() {
    // A stop never interrupts an exchange, and never hides an error already found: the abort
    // state sends the end request itself and then reports the error.
    if (!link_->isBusy() && stopRequested_ && state_ != State::AbortWithError) {
        state_ = State::StopOnRequest;
    }
    statusText_.clear();
    switch (state_) {
        case State::Introduce:
            return introduce();
        case State::Connect:
            return connect();
        case State::Identify:
            return identify();
        case State::SelectTables:
            return selectTables();
        case State::StartSendPass:
            return startPass(State::NextTableToSend, scaleNumber_, false);
        case State::StartConfigSendPass:
            confDataSent_ = false;
            return startPass(State::NextTableToSend, job_.confFrom, true);
        case State::NextConfigNumberToSend:
            return nextConfigNumberToSend();
        case State::NextTableToSend:
            return nextTableToSend();
        case State::SendRecords:
            return sendRecords();
        case State::StartFetchPass:
            descFetch_ = 0;
            return startPass(State::NextTableToFetch, scaleNumber_, false);
        case State::StartConfigFetchPass:
            descFetch_ = 0;
            return startPass(State::NextTableToFetch, job_.confFrom, true);
        case State::NextTableToFetch:
            return nextTableToFetch();
        case State::FetchRecords:
            return fetchRecords();
        case State::Finish:
            return finish();
        case State::AbortWithError:
            return abortWithError();
        case State::FetchTdes:
            // Rows read from an incomplete description directory must not mix with the rows
            // the scale sends.
            catalog_.tdes().clearRecords();
            catalog_.ades().clearRecords();
            setCurrentNumber(scaleNumber_);
            configPass_ = false;
            showAndLogNumber();
            return fetchDescriptionTable(catalog_.tdes(), 1, State::FetchRecords);
        case State::FetchAdes:
            return fetchDescriptionTable(catalog_.ades(), 2, State::FetchRecords);
        case State::StoreDescriptions:
            return storeDescriptions();
        case State::StopOnRequest:
            return stopOnRequest();
    }
    return kCallAgain;
}

// ---- states of the job's frame ----

std::uint8_t TransferJob::introduce() {
    showAndLog(showLine1, text(12));
    static const std::int32_t kKindTexts[] = {15, 14, 11, 10};  // by jobKind
    const std::int32_t kindText = kKindTexts[job_.jobKind & 3];
    showAndLog(showLine2, text(kindText) + ": " + text(17) +
                              format("[%01d]", static_cast<int>(linkSettings_.port)));
    const bool restoreOrBackup = job_.jobKind < 2;
    if (!restoreOrBackup) {
        std::string articles;
        if (job_.articleGiven) {
            articles = text(13);
            if (job_.jobKind == 2) {
                articles += format("[%04d - %04d]", static_cast<int>(job_.articleFrom),
                                   static_cast<int>(job_.articleTo));
            } else {
                articles += "[" + text(23) + "]";
            }
            articles += ": ";
        }
        std::string configuration;
        if (job_.confGiven) {
            configuration =
                text(19) + ": " + text(18) + format("[%02d - %02d]", job_.confFrom, job_.confTo);
        }
        showAndLog(showLine3, articles + configuration);
        if (job_.tablesGiven) {
            std::string line = text(20) + ": ";
            if (job_.tableNameCount == JobParseResult::kAllTables) {
                line += text(22);
            } else {
                for (std::uint8_t i = 0; i < job_.tableNameCount && i < job_.tables.size(); ++i) {
                    line += " " + job_.tables[i];
                }
            }
            showAndLog(showLine4, line);
        }
    } else {
        showAndLog(showLine3, text(16) + ": " + text(18) +
                                  format("[%02d - %02d]", job_.confFrom, job_.confTo));
    }
    showAndLog(showLine5, job_.workDir);
    logMessage(34);
    state_ = State::Connect;
    return kCallAgain;
}

std::uint8_t TransferJob::connect() {
    if (link_->open(scaleNumber_, identification_) == 1) {
        connected_ = true;
        state_ = State::Identify;
    }
    return kCallAgain;
}

bool TransferJob::identificationIsSafe() const {
    // The identification names a directory below the program directory: it must not be able to
    // leave it or name a device.
    if (identification_.find("..") != std::string::npos) {
        return false;
    }
    for (char c : identification_) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') {
            return false;
        }
    }
    return true;
}

std::uint8_t TransferJob::identify() {
    showAndLog(showLine1, text(5) + format(": [%02d] ", scaleNumber_) + identification_);
    const std::string separator(1, platform::pathSeparator());
    const std::size_t length = identification_.size();
    if (length < 10 || length > 13 || !identificationIsSafe()) {
        fail(29);
        return kCallAgain;
    }
    bool generic = length > 10;
    if (length == 10) {
        identType_ = std::atoi(identification_.substr(0, 3).c_str());
        if (identType_ != 109) {
            fail(27);
            return kCallAgain;
        }
        identVariant_ = std::atoi(identification_.substr(3, 2).c_str());
        identModel_ = std::atoi(identification_.substr(7, 3).c_str());
        if (identVariant_ != 74 || identModel_ > 701) {
            generic = true;
        } else if (identModel_ < 700) {
            fail(27);
            return kCallAgain;
        } else {
            descDir_ = programDir_ + separator +
                       (identModel_ == 700 ? "109SCALE700" : "109SCALE701") + separator;
            if (!catalog_.loadDescriptions(descDir_)) {
                fail(28);
                return kCallAgain;
            }
            model700_ = identModel_ == 700;
            state_ = State::SelectTables;
            return kCallAgain;
        }
    }
    if (generic) {
        // Fetched descriptions lie in the data directory; one there that is another user's link
        // is neither read nor written (the log names it).
        std::string target;
        std::string refusal;
        if (!outputTarget(dataDir_ + separator + identification_, target, refusal)) {
            fail(kOutputNotWritten);
            return kCallAgain;
        }
        descDir_ = dataDir_ + separator + identification_ + separator;
        state_ = catalog_.loadDescriptions(descDir_) ? State::SelectTables : State::FetchTdes;
    }
    return kCallAgain;
}

std::uint8_t TransferJob::selectTables() {
    setReplyLimit();
    loadHeldRecords();
    catalog_.deselectAll();
    // Only a job that sends is limited by the range (a fetch asks for the whole table).
    if (job_.articleGiven && !catalog_.selectArticleRange(job_.articleFrom, job_.articleTo) &&
        job_.direction == 1) {
        log(
            format("The article range %u - %u lies wholly outside the article table's keys: no "
                   "article is sent",
                   static_cast<unsigned>(job_.articleFrom), static_cast<unsigned>(job_.articleTo)));
    }
    if (job_.tablesGiven) {
        if (job_.tableNameCount == JobParseResult::kAllTables) {
            catalog_.selectDataTables();
        } else {
            for (std::uint8_t i = 0; i < job_.tableNameCount && i < job_.tables.size(); ++i) {
                if (!catalog_.selectByName(job_.tables[i])) {
                    log("KWTAB names the table " + job_.tables[i] +
                        ", which this scale does not have");
                }
            }
        }
    }
    if (job_.confGiven) {
        catalog_.selectConfigurationTables();
    }
    const bool data = job_.tablesGiven || job_.articleGiven;
    if (job_.direction == 1) {
        // Every selected table is read, so that a table named in the job (the article table
        // too) is sent, and one whose file could not be read counts as having none.
        catalog_.importSelectedTables(job_.workDir);
        const std::set<std::string> missingFiles(catalog_.importFailures().begin(),
                                                 catalog_.importFailures().end());
        if (!checkTablesToSend(missingFiles)) {
            return kCallAgain;
        }
        state_ = data ? State::StartSendPass : State::StartConfigSendPass;
    } else {
        state_ = data ? State::StartFetchPass : State::StartConfigFetchPass;
    }
    return kCallAgain;
}

// Before anything is sent: logs every selected table that had no file, ends the job with
// error 39 when not one of them had a file, and with error 40 when a file holds a value that
// cannot be sent as it stands (each one logged with table, key, column and text).
bool TransferJob::checkTablesToSend(const std::set<std::string>& missingFiles) {
    bool anyFile = false;
    std::vector<InvalidValue> invalid;
    for (std::size_t i = 0; i < catalog_.tableCount(); ++i) {
        Table* table = catalog_.tableAt(i);
        if (table == nullptr || !table->isSelected() || table->isMeta()) {
            continue;
        }
        // A configuration table goes out only in the configuration pass.
        if (table->isConfigurationTable() && !job_.confGiven) {
            log("Table " + table->fileSign() + " (" + table->name() +
                ") is a configuration table: it is sent only with KWCONF");
            continue;
        }
        if (missingFiles.count(table->fileSign()) != 0) {
            log("No file to send for table " + table->fileSign() + " (" + table->name() + ")");
            continue;
        }
        anyFile = true;
        if (!table->isSendBlocked()) {
            const std::size_t first = invalid.size();
            table->findInvalidValues(invalid);
            // A table kept per scale is checked only for the numbers the job sends it for.
            invalid.erase(
                std::remove_if(invalid.begin() + static_cast<std::ptrdiff_t>(first), invalid.end(),
                               [this, table](const InvalidValue& value) {
                                   return value.scale >= 0 && !sendsNumber(*table, value.scale);
                               }),
                invalid.end());
        }
    }
    if (!anyFile) {
        fail(39);
        return false;
    }
    bool unreadable = false;
    for (const InvalidValue& value : invalid) {
        if (!value.problem.empty()) {
            log(value.problem);
            unreadable = unreadable || value.message == kFileNotRead;
            continue;
        }
        std::string where =
            (value.badKey ? "Invalid key in table " : "Invalid value in table ") + value.table;
        if (value.scale >= 0) {
            where += format(" (number %02d)", value.scale);
        }
        if (!value.badKey) {
            where += format(", key %d", static_cast<int>(value.key));
        }
        std::string line = where + ", column " + value.column + ": \"" + value.text + "\"";
        if (value.text.find("E+") != std::string::npos ||
            value.text.find("e+") != std::string::npos) {
            line +=
                " (this looks like a number a spreadsheet rewrote: format that column as "
                "text)";
        }
        log(line);
    }
    if (!invalid.empty()) {
        fail(unreadable ? kFileNotRead : 40);
        return false;
    }
    return true;
}

bool TransferJob::sendsNumber(const Table& table, std::int32_t number) const {
    if (!table.isConfigurationTable()) {
        return number == scaleNumber_;
    }
    // The configuration pass runs from confFrom to confTo, and at least for confFrom.
    return number == job_.confFrom || (number >= job_.confFrom && number <= job_.confTo);
}

// Decided per file once every number is fetched: a file that none of the numbers it holds
// filled. Numbers above 10 have no file.
bool TransferJob::writeTablesFetchedEmpty() {
    bool written = true;
    for (const auto& entry : fetched_) {
        if (entry.second > kLastFileNumber) {
            continue;
        }
        if (fetchedWithRecords_.count(entry) == 0) {
            written = entry.first->writeEmptyCsv(job_.workDir, entry.second) && written;
        }
    }
    return written;
}

std::uint8_t TransferJob::finish() {
    request_ = endRequest();
    if (!exchange()) {
        // Given up after a stop request: that was the one try of the end request.
        return exchangeGivenUp_ ? kEnded : kCallAgain;
    }
    logMessage(33);
    if (job_.direction == 2) {
        // The marker and the log of an earlier job say that the directory holds a complete
        // backup: they go before the first file is replaced, so that a job that ends in the
        // middle of writing (killed, or a full disk) leaves nothing that claims success.
        const std::string marker =
            markerFileName(job_.workDir, job_.dirName, platform::pathSeparator() == '/' ? 0 : 3);
        std::remove(marker.c_str());
        std::remove((job_.workDir + "Kwlink.log").c_str());
        bool written = catalog_.saveAllTables(job_.workDir);
        written = writeTablesFetchedEmpty() && written;
        catalog_.importAll(job_.workDir);
        logTablesKeptAsTheyAre();
        written = catalog_.saveAllTables(job_.workDir, true) && written;
        // A file that cannot be read back as written is no backup: no marker.
        written = !logTablesWrittenAsFetched() && written;
        // The marker only when every file is in place.
        if (!written || !writeOutputFile(marker, kVersionBanner)) {
            // The end request is already answered: report at once that the backup is incomplete.
            throw QmComExceptions(kOutputNotWritten);
        }
    }
    // A fetch leaves the scale as it was: what it taught is kept only after the files of a job
    // from the scale are in place (and by the destructor when the job ends otherwise).
    saveHeldRecords(true);
    return kFinished;
}

std::uint8_t TransferJob::abortWithError() {
    if (!connected_) {
        return kEnded;
    }
    request_ = endRequest();
    try {
        // An end request given up after a stop request still ends the job with its error.
        if (!exchange() && !exchangeGivenUp_) {
            return kCallAgain;
        }
    } catch (const QmComExceptions&) {
        // The link error is what the job reports; the log still names the error that started
        // the abort.
        logMessage(pendingError_);
        throw;
    }
    throw QmComExceptions(pendingError_);
}

// After a backup re-read every file of the working directory: a table whose file held a value
// it could not take as it stands is not written back (writing it would change or drop that
// value); the log says which tables were kept.
void TransferJob::logTablesKeptAsTheyAre() {
    for (std::size_t i = 0; i < catalog_.tableCount(); ++i) {
        Table* table = catalog_.tableAt(i);
        if (table == nullptr) {
            continue;
        }
        // A text that a job sending the file would refuse counts like one that could not be
        // taken as it stands.
        std::vector<InvalidValue> invalid;
        table->findInvalidValues(invalid);
        if (!invalid.empty()) {
            table->keepFiles();
        }
        if (table->hasImportProblems()) {
            for (const InvalidValue& value : table->fileProblems()) {
                log(value.problem);
            }
            log("Files of table " + table->fileSign() +
                " kept as they are: they hold a value that cannot be written back unchanged");
        }
    }
}

// A table whose file got a fetched value holding ";", CR or LF was written once, as fetched,
// and neither re-read nor written again (read back, the value would shift the columns after
// it). True when there is such a table.
bool TransferJob::logTablesWrittenAsFetched() {
    bool any = false;
    const auto note = [&any](const Table* table) {
        if (table != nullptr && table->wroteUnreadableLine()) {
            log("Files of table " + table->fileSign() +
                " written as fetched, not read back: a value holds \";\", CR or LF");
            any = true;
        }
    };
    note(&catalog_.tdes());
    note(&catalog_.ades());
    for (std::size_t i = 0; i < catalog_.tableCount(); ++i) {
        note(catalog_.tableAt(i));
    }
    return any;
}

std::uint8_t TransferJob::stopOnRequest() {
    if (!connected_) {
        return kEnded;
    }
    request_ = endRequest();
    // The end request is tried once: given up, the job ends all the same.
    if (!exchange() && !exchangeGivenUp_) {
        return kCallAgain;
    }
    return kEnded;
}

std::uint8_t TransferJob::fetchDescriptionTable(Table& table, std::uint8_t descFetch, State next) {
    currentTable_ = &table;
    showAndLog(showLine7, table.name());
    platform::sleepMillis(tablePauseMs_);
    table.prepareReceive(currentNumber_);
    unknownReplies_ = 0;
    recordsFetched_ = 0;
    showTableProgress(table.name(), 0, 0);
    request_ = header_ + "u" + static_cast<char>(table.busSign()) + kEtb;
    descFetch_ = descFetch;
    state_ = next;
    return kCallAgain;
}

std::uint8_t TransferJob::storeDescriptions() {
    makeDirectory(descDir_);
    catalog_.saveAllTables(descDir_);
    if (catalog_.loadDescriptions(descDir_)) {
        state_ = State::SelectTables;
    } else {
        fail(31);
    }
    return kCallAgain;
}

// ---- the table passes ----

std::uint8_t TransferJob::startPass(State next, std::uint8_t number, bool configPass) {
    tableIndex_ = 0;
    configPass_ = configPass;
    setCurrentNumber(number);
    showAndLogNumber();
    state_ = next;
    return kCallAgain;
}

bool TransferJob::eligibleToSend(const Table& table) const {
    return !table.isSendBlocked() && eligibleToFetch(table);
}

bool TransferJob::eligibleToFetch(const Table& table) const {
    return table.isSelected() && (table.busSign() >= 0x80) == configPass_ && !table.isMeta();
}

std::uint8_t TransferJob::nextTableToSend() {
    if (tableIndex_ >= catalog_.tableCount()) {
        if (job_.confGiven && !configPass_) {
            state_ = State::StartConfigSendPass;
        } else {
            state_ = configPass_ ? State::NextConfigNumberToSend : State::Finish;
        }
        return kCallAgain;
    }
    currentTable_ = catalog_.tableAt(tableIndex_);
    if (currentTable_ == nullptr || !eligibleToSend(*currentTable_)) {
        ++tableIndex_;
        return kCallAgain;
    }
    statusText_ = currentTable_->name();
    showAndLog(showLine7, statusText_);
    sendList_.build(*currentTable_, currentNumber_, recordRequestStart(), *held_, job_.changedOnly,
                    statusText_);
    if (job_.changedOnly) {
        std::string table = currentTable_->fileSign();
        if (configPass_) {
            table += format(" (number %02d)", currentNumber_);
        }
        log(table + format(": %u of %u records changed, %u unchanged not sent",
                           static_cast<unsigned>(sendList_.size()),
                           static_cast<unsigned>(sendList_.total()),
                           static_cast<unsigned>(sendList_.total() - sendList_.size())));
    }
    if (sendList_.size() > 0) {
        startSendingList();
    } else {
        if (sendList_.total() == 0) {
            log(text(37));
        }
        ++tableIndex_;
    }
    return kCallAgain;
}

// Before the first record of the list goes out, the held records forget every record of it
// (and the file says so): a record whose sending has begun counts as held again only once the
// scale acknowledged it, whatever becomes of the job.
void TransferJob::startSendingList() {
    for (std::size_t i = 0; i < sendList_.size(); ++i) {
        held_->forget(currentTable_->fileSign(), currentNumber_, sendList_.at(i).key);
    }
    heldSavedAt_ = platform::monotonicMillis();
    std::string reason;
    if (!held_->save() &&
        platform::readAccess(held_->path(), reason) != platform::FileAccess::Missing) {
        // The file would go on claiming the records about to change: nothing is sent.
        log(held_->path() +
            " cannot be written: it would claim records the scale no longer "
            "holds; delete it");
        fail(kOutputNotWritten);
        return;
    }
    sendIndex_ = 0;
    request_ = sendList_.at(0).request;
    statusText_ = sendList_.at(0).status;
    platform::sleepMillis(tablePauseMs_);
    showTableProgress(currentTable_->name(), 0, static_cast<std::uint32_t>(sendList_.size()));
    showLine7(statusText_);
    state_ = State::SendRecords;
}

std::uint8_t TransferJob::sendRecords() {
    if (!exchange()) {
        return kCallAgain;
    }
    if (configPass_) {
        confDataSent_ = true;
    }
    // The scale acknowledged the record: now it is known to hold it.
    const TableSendList::Record& sent = sendList_.at(sendIndex_);
    held_->remember(currentTable_->fileSign(), currentNumber_, sent.key, sent.bytes);
    const auto count = static_cast<std::uint32_t>(sendList_.size());
    if (++sendIndex_ >= sendList_.size()) {
        saveHeldRecords(true);
        showTableDone(currentTable_->name(), count);
        ++tableIndex_;
        state_ = State::NextTableToSend;
        return kCallAgain;
    }
    saveHeldRecords(false);
    request_ = sendList_.at(sendIndex_).request;
    showLine7(sendList_.at(sendIndex_).status);
    showTableProgress(currentTable_->name(), static_cast<std::uint32_t>(sendIndex_), count);
    return kCallAgain;
}

std::uint8_t TransferJob::nextConfigNumberToSend() {
    if (confDataSent_) {
        request_ = header_ + "s" + kEtb;
        if (!exchange()) {
            return kCallAgain;
        }
        log(text(36));
        confDataSent_ = false;
    }
    if (currentNumber_ >= job_.confTo) {
        state_ = State::Finish;
        return kCallAgain;
    }
    tableIndex_ = 0;
    setCurrentNumber(static_cast<std::uint8_t>(currentNumber_ + 1));
    showAndLogNumber();
    state_ = State::NextTableToSend;
    return kCallAgain;
}

std::uint8_t TransferJob::nextTableToFetch() {
    if (tableIndex_ >= catalog_.tableCount()) {
        if (job_.confGiven && !configPass_) {
            state_ = State::StartConfigFetchPass;
        } else if (configPass_ && currentNumber_ < job_.confTo) {
            tableIndex_ = 0;
            setCurrentNumber(static_cast<std::uint8_t>(currentNumber_ + 1));
            showAndLogNumber();
        } else {
            state_ = State::Finish;
        }
        return kCallAgain;
    }
    currentTable_ = catalog_.tableAt(tableIndex_);
    if (currentTable_ == nullptr || !eligibleToFetch(*currentTable_)) {
        ++tableIndex_;
        return kCallAgain;
    }
    statusText_ = currentTable_->name();
    showAndLog(showLine7, statusText_);
    platform::sleepMillis(tablePauseMs_);
    currentTable_->prepareReceive(currentNumber_);
    unknownReplies_ = 0;
    fetched_.emplace(currentTable_, currentTable_->csvFileNumber(currentNumber_));
    // What the scale sends of this table replaces what was known of it (saved when the job
    // ends: until then the file keeps what was known before, which a fetch leaves as true).
    held_->forgetTable(currentTable_->fileSign(), currentNumber_);
    recordsFetched_ = 0;
    showTableProgress(currentTable_->name(), 0, 0);
    if (model700_) {
        request_ = header_ + "q*" + kEtb;
    } else {
        request_ = header_ + "u" + static_cast<char>(currentTable_->busSign()) + kEtb;
    }
    state_ = State::FetchRecords;
    return kCallAgain;
}

std::uint8_t TransferJob::fetchRecords() {
    if (!exchange()) {
        return kCallAgain;
    }
    bool known = true;
    switch (replyKind_) {
        case kModel700Record:
        case 'd':
            lastResult_ = currentTable_->storeReceived(statusText_, scaleNumber_, payload_);
            if (descFetch_ == 0) {
                held_->remember(currentTable_->fileSign(), currentNumber_,
                                TableSendList::heldKey(*currentTable_),
                                TableSendList::recordOfReply(payload_));
            }
            showTableProgress(currentTable_->name(), ++recordsFetched_, 0);
            // The table filed the record under the number of the reply.
            fetchedWithRecords_.emplace(currentTable_, currentTable_->csvFileNumber(scaleNumber_));
            if (!currentTable_->layout().lastDecodeComplete()) {
                log("Record of table " + currentTable_->fileSign() +
                    format(" (number %02d), key %d", currentNumber_,
                           static_cast<int>(currentTable_->key())) +
                    ", not read completely: " + escapeBytes(payload_));
            }
            break;
        case 'q':
            lastResult_ = 1;
            break;
        case 'w': {
            const char detail = payload_.size() > 1 ? payload_[1] : '\0';
            if (detail == '2' || detail == '3') {
                log(text(37));
                lastResult_ = 1;
            } else if (detail >= '4' && detail <= '6') {
                lastResult_ = 1;
            } else {
                known = false;
            }
            break;
        }
        default:
            known = false;
            break;
    }
    if (!known) {
        // The table stays unfinished and the job asks again, without a log entry; a scale that
        // answers so for ever (also one that sends the table's records again before each such
        // reply) would keep the job going for ever.
        if (++unknownReplies_ >= kMostUnknownReplies) {
            // One entry for the whole run of such replies: the table and the last reply.
            log("Table " + currentTable_->fileSign() +
                format(": given up after %d replies the job does not know, the last: ",
                       unknownReplies_) +
                escapeBytes(payload_));
            fail(kUnknownReply);
            return kCallAgain;
        }
    }
    showLine7(statusText_);
    if (lastResult_ != 1) {
        return kCallAgain;
    }
    showTableDone(currentTable_->name(), recordsFetched_);
    if (descFetch_ == 1) {
        state_ = State::FetchAdes;
    } else if (descFetch_ == 2) {
        state_ = State::StoreDescriptions;
    } else {
        ++tableIndex_;
        state_ = State::NextTableToFetch;
    }
    return kCallAgain;
}

// ---- helpers ----

// One file per scale in the working directory. One written for another scale (a copy, a
// renamed file) or not as this program writes it is not used: the job then knows nothing, and
// a job that sends only what changed sends everything.
void TransferJob::loadHeldRecords() {
    held_ = std::make_unique<HeldRecords>(job_.workDir, identification_, scaleNumber_);
    std::string detail;
    switch (held_->load(detail)) {
        case HeldRecords::Loaded::Known:
            return;
        case HeldRecords::Loaded::Missing:
            if (!job_.changedOnly) {
                return;
            }
            detail = "Nothing is known of what this scale holds (" + detail + ")";
            break;
        default:
            detail += ": not used";
            break;
    }
    log(detail + (job_.changedOnly ? ": every record is sent" : ""));
}

void TransferJob::saveHeldRecords(bool now) {
    const std::uint64_t time = platform::monotonicMillis();
    if (held_ && (now || time - heldSavedAt_ >= kHeldSaveIntervalMs)) {
        held_->save();
        heldSavedAt_ = time;
    }
}

bool TransferJob::exchange() {
    const std::uint8_t result = link_->transfer(scaleNumber_, replyKind_, request_, payload_);
    exchangeGivenUp_ = result == 0;
    return result == 1;
}

void TransferJob::fail(std::int32_t messageNumber) {
    pendingError_ = messageNumber;
    state_ = State::AbortWithError;
}

void TransferJob::setCurrentNumber(std::uint8_t number) {
    currentNumber_ = number;
    header_ = headerFor(currentNumber_);
}

void TransferJob::showAndLogNumber() {
    const std::string number = format("%2d", currentNumber_);
    showLine6(number);
    log(text(5) + " :" + number);
}

std::string TransferJob::endRequest() const {
    return headerFor(scaleNumber_) + (model700_ ? std::string("q&") : std::string("e")) + kEtb;
}

std::string TransferJob::recordRequestStart() const {
    return header_ + (model700_ ? kModel700Record : 'd');
}

std::string TransferJob::markerFileName(const std::string& workDir, const std::string& dirName,
                                        std::string::size_type firstExaminedPosition) {
    std::string name = workDir.empty() ? std::string() : workDir.substr(0, workDir.size() - 1);
    std::string::size_type length = name.size();
    while (length > firstExaminedPosition && name[length - 1] != '\\' && name[length - 1] != '/') {
        --length;
    }
    name.resize(length);
    return name + dirName + ".sca";
}
