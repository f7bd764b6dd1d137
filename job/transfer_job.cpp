#include "job/transfer_job.h"

#include "diag/output_file.h"
#include "diag/qm_com_exceptions.h"
#include "diag/status_lines.h"
#include "dictionary/char_translation.h"
#include "job/job_introduction.h"
#include "job/job_output.h"
#include "job/job_tables.h"
#include "job/scale_identification.h"
#include "platform/network_ports.h"
#include "platform/platform.h"
#include "protocol/scale_protocol.h"
#include "tables/held_records.h"
#include "tables/keyed_table.h"

// format, text, log, logMessage, showAndLog.
using namespace job_output;

namespace {

// Replies of a kind the job cannot use, while fetching one table, after which the job ends.
constexpr int kMostUnknownReplies = 10;

}  // namespace

TransferJob::TransferJob(const JobInputs& inputs, const LinkFactory& makeLink,
                         std::uint32_t tablePauseMs)
    : job_(inputs.job),
      linkSettings_(inputs.linkSettings),
      lineSettings_(inputs.lineSettings),
      tablePauseMs_(tablePauseMs),
      programDir_(platform::programDirectory()),
      dataDir_(platform::dataDirectory()) {
    // The serial device's notes (settings a network server did not take) go to the log.
    platform::setDeviceNoteSink([](const std::string& note) { log(note); });
    link_ = makeLink(lineSettings_, linkSettings_);
    link_->setReplyLimit(largestReply(catalog_));
}

void TransferJob::requestStop() {
    stopRequested_ = true;
    if (link_) {
        link_->requestStop();
    }
}

TransferJob::~TransferJob() {
    platform::setDeviceNoteSink(nullptr);
    // A job that ends early keeps what the scale acknowledged until then.
    if (held_) {
        held_->save();
    }
    delete g_charTranslation;
    g_charTranslation = nullptr;
    if (link_) {
        link_.reset();
        logMessage(Message::PortClosed);
    }
}

StepResult TransferJob::runStep() {
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
            return startFetch(catalog_.tdes(), 1, false);
        case State::FetchAdes:
            return startFetch(catalog_.ades(), 2, false);
        case State::StoreDescriptions:
            return storeDescriptions();
        case State::StopOnRequest:
            return stopOnRequest();
    }
    return StepResult::CallAgain;
}

// ---- states of the job's frame ----

StepResult TransferJob::introduce() {
    introduceJob(job_, linkSettings_.port);
    state_ = State::Connect;
    return StepResult::CallAgain;
}

StepResult TransferJob::connect() {
    if (link_->open(scaleNumber_, identification_) == StepResult::Complete) {
        connected_ = true;
        state_ = State::Identify;
    }
    return StepResult::CallAgain;
}

StepResult TransferJob::identify() {
    showAndLog(showLine1,
               text(Message::Scale) + format(": [%02d] ", scaleNumber_) + identification_);
    const ScaleIdentity identity = identifyScale(identification_);
    if (!identity.valid) {
        fail(identity.error);
        return StepResult::CallAgain;
    }
    descDir_ = descriptionDirectory(identity, programDir_, dataDir_);
    if (identity.builtIn) {
        if (catalog_.loadDescriptions(descDir_)) {
            model700_ = identity.model700;
            state_ = State::SelectTables;
        } else {
            fail(Message::ModelDescriptionsInvalid);
        }
        return StepResult::CallAgain;
    }
    // Fetched descriptions lie in the data directory; one there that is another user's link
    // is neither read nor written (the log names it).
    std::string target;
    std::string refusal;
    if (!outputTarget(descDir_.substr(0, descDir_.size() - 1), target, refusal)) {
        fail(Message::OutputNotWritten);
        return StepResult::CallAgain;
    }
    state_ = catalog_.loadDescriptions(descDir_) ? State::SelectTables : State::FetchTdes;
    return StepResult::CallAgain;
}

StepResult TransferJob::selectTables() {
    link_->setReplyLimit(largestReply(catalog_));
    held_ = loadHeldRecords(job_, identification_, scaleNumber_);
    selectJobTables(catalog_, job_);
    const bool data = job_.tablesGiven || job_.articleGiven;
    if (job_.direction == 1) {
        // Every selected table is read, so that a table named in the job (the article table
        // too) is sent, and one whose file could not be read counts as having none.
        catalog_.importSelectedTables(job_.workDir);
        Message refusal = Message::NoFileToSend;
        if (!checkTablesToSend(catalog_, job_, scaleNumber_, refusal)) {
            fail(refusal);
            return StepResult::CallAgain;
        }
        state_ = data ? State::StartSendPass : State::StartConfigSendPass;
    } else {
        state_ = data ? State::StartFetchPass : State::StartConfigFetchPass;
    }
    return StepResult::CallAgain;
}

StepResult TransferJob::finish() {
    request_ = protocol::endRequest(scaleNumber_, model700_);
    if (!exchange()) {
        // Given up after a stop request: that was the one try of the end request.
        return exchangeGivenUp_ ? StepResult::Ended : StepResult::CallAgain;
    }
    logMessage(Message::ConnectionEnded);
    // An incomplete backup is reported at once: the end request is already answered.
    if (job_.direction == 2 &&
        !writeBackup(catalog_, job_.workDir, job_.dirName, fetched_, fetchedWithRecords_)) {
        throw QmComExceptions(Message::OutputNotWritten);
    }
    // What a fetch taught is kept only once the files of a backup are in place.
    held_->save();
    return StepResult::Complete;
}

StepResult TransferJob::abortWithError() {
    if (!connected_) {
        return StepResult::Ended;
    }
    request_ = protocol::endRequest(scaleNumber_, model700_);
    try {
        // An end request given up after a stop request still ends the job with its error.
        if (!exchange() && !exchangeGivenUp_) {
            return StepResult::CallAgain;
        }
    } catch (const QmComExceptions&) {
        // The link error is what the job reports; the log still names the error that started
        // the abort.
        logMessage(pendingError_);
        throw;
    }
    throw QmComExceptions(pendingError_);
}

StepResult TransferJob::stopOnRequest() {
    if (!connected_) {
        return StepResult::Ended;
    }
    request_ = protocol::endRequest(scaleNumber_, model700_);
    // The end request is tried once: given up, the job ends all the same.
    if (!exchange() && !exchangeGivenUp_) {
        return StepResult::CallAgain;
    }
    return StepResult::Ended;
}

// Asks for `table` after the pause before each table; fetchRecords takes its replies.
StepResult TransferJob::startFetch(CsvTable& table, std::uint8_t descFetch, bool model700) {
    currentTable_ = &table;
    showAndLog(showLine7, table.name());
    platform::sleepMillis(tablePauseMs_);
    table.prepareReceive(currentNumber_);
    unknownReplies_ = 0;
    recordsFetched_ = 0;
    showTableProgress(table.name(), 0, 0);
    request_ = protocol::tableRequest(header_, table.busSign(), model700);
    descFetch_ = descFetch;
    state_ = State::FetchRecords;
    return StepResult::CallAgain;
}

StepResult TransferJob::storeDescriptions() {
    makeDirectory(descDir_);
    catalog_.saveAllTables(descDir_);
    if (catalog_.loadDescriptions(descDir_)) {
        state_ = State::SelectTables;
    } else {
        fail(Message::FetchedDescriptionsInvalid);
    }
    return StepResult::CallAgain;
}

// ---- the table passes ----

StepResult TransferJob::startPass(State next, std::uint8_t number, bool configPass) {
    tableIndex_ = 0;
    configPass_ = configPass;
    setCurrentNumber(number);
    showAndLogNumber();
    state_ = next;
    return StepResult::CallAgain;
}

StepResult TransferJob::nextTableToSend() {
    if (tableIndex_ >= catalog_.tableCount()) {
        if (job_.confGiven && !configPass_) {
            state_ = State::StartConfigSendPass;
        } else {
            state_ = configPass_ ? State::NextConfigNumberToSend : State::Finish;
        }
        return StepResult::CallAgain;
    }
    currentTable_ = catalog_.tableAt(tableIndex_);
    if (currentTable_ == nullptr || !eligibleToSend(*currentTable_, configPass_)) {
        ++tableIndex_;
        return StepResult::CallAgain;
    }
    statusText_ = currentTable_->name();
    showAndLog(showLine7, statusText_);
    // The records are listed first (with KWCHANGED, not those the scale holds as they are).
    switch (sendList_.start(*currentTable_, currentNumber_, configPass_,
                            protocol::recordRequestStart(header_, model700_), *held_,
                            job_.changedOnly, statusText_)) {
        case TableSendList::Start::Empty:
            ++tableIndex_;
            break;
        case TableSendList::Start::Refused:
            fail(Message::OutputNotWritten);
            break;
        case TableSendList::Start::Ready:
            request_ = sendList_.current().request;
            platform::sleepMillis(tablePauseMs_);
            showTableProgress(currentTable_->name(), 0, sendListSize());
            showLine7(sendList_.current().status);
            state_ = State::SendRecords;
            break;
    }
    return StepResult::CallAgain;
}

StepResult TransferJob::sendRecords() {
    if (!exchange()) {
        return StepResult::CallAgain;
    }
    if (configPass_) {
        confDataSent_ = true;
    }
    // The scale acknowledged the record: now it is known to hold it.
    if (!sendList_.acknowledged(*held_, *currentTable_, currentNumber_)) {
        showTableDone(currentTable_->name(), sendListSize());
        ++tableIndex_;
        state_ = State::NextTableToSend;
        return StepResult::CallAgain;
    }
    request_ = sendList_.current().request;
    showLine7(sendList_.current().status);
    showTableProgress(currentTable_->name(),
                      static_cast<std::uint32_t>(sendList_.acknowledgedCount()), sendListSize());
    return StepResult::CallAgain;
}

StepResult TransferJob::nextConfigNumberToSend() {
    if (confDataSent_) {
        request_ = protocol::saveRequest(header_);
        if (!exchange()) {
            return StepResult::CallAgain;
        }
        log(text(Message::ConfigurationSaved));
        confDataSent_ = false;
    }
    if (currentNumber_ >= job_.confTo) {
        state_ = State::Finish;
        return StepResult::CallAgain;
    }
    tableIndex_ = 0;
    setCurrentNumber(static_cast<std::uint8_t>(currentNumber_ + 1));
    showAndLogNumber();
    state_ = State::NextTableToSend;
    return StepResult::CallAgain;
}

StepResult TransferJob::nextTableToFetch() {
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
        return StepResult::CallAgain;
    }
    currentTable_ = catalog_.tableAt(tableIndex_);
    if (currentTable_ == nullptr || !eligibleToFetch(*currentTable_, configPass_)) {
        ++tableIndex_;
        return StepResult::CallAgain;
    }
    fetched_.emplace(currentTable_, currentTable_->csvFileNumber(currentNumber_));
    // What the scale sends of this table replaces what was known of it.
    held_->forgetTable(currentTable_->fileSign(), currentNumber_);
    return startFetch(*currentTable_, 0, model700_);
}

StepResult TransferJob::fetchRecords() {
    if (!exchange()) {
        return StepResult::CallAgain;
    }
    const protocol::Reply reply = protocol::classifyReply(replyKind_, payload_);
    switch (reply) {
        case protocol::Reply::Record:
            lastResult_ = currentTable_->storeReceived(statusText_, scaleNumber_, payload_);
            if (descFetch_ == 0) {
                TableSendList::rememberFetched(*held_, *currentTable_, currentNumber_, payload_);
            }
            showTableProgress(currentTable_->name(), ++recordsFetched_, 0);
            // The table filed the record under the number of the reply.
            fetchedWithRecords_.emplace(currentTable_, currentTable_->csvFileNumber(scaleNumber_));
            if (!currentTable_->layout().lastDecodeComplete()) {
                logIncompleteRecord(*currentTable_, currentNumber_, payload_);
            }
            break;
        case protocol::Reply::NothingToTransfer:
            log(text(Message::NothingToTransfer));
            lastResult_ = SendResult::Only;
            break;
        case protocol::Reply::TableEnd:
            lastResult_ = SendResult::Only;
            break;
        case protocol::Reply::Unknown:
            // The table stays unfinished and the job asks again, unlogged; but a scale that
            // answers so for ever (records again before each such reply too) must not hold it.
            if (++unknownReplies_ >= kMostUnknownReplies) {
                logUnknownReplies(*currentTable_, unknownReplies_, payload_);
                fail(Message::UnknownReply);
                return StepResult::CallAgain;
            }
            break;
    }
    showLine7(statusText_);
    if (lastResult_ != SendResult::Only) {
        return StepResult::CallAgain;
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
    return StepResult::CallAgain;
}

// ---- helpers ----

bool TransferJob::exchange() {
    const StepResult result = link_->transfer(scaleNumber_, replyKind_, request_, payload_);
    exchangeGivenUp_ = result == StepResult::Ended;
    return result == StepResult::Complete;
}

void TransferJob::fail(Message message) {
    pendingError_ = message;
    state_ = State::AbortWithError;
}

void TransferJob::setCurrentNumber(std::uint8_t number) {
    currentNumber_ = number;
    header_ = protocol::header(currentNumber_);
}

void TransferJob::showAndLogNumber() {
    const std::string number = format("%2d", currentNumber_);
    showLine6(number);
    log(text(Message::Scale) + " :" + number);
}
