#include "app/process.h"

#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "app/job_setup.h"
#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/process_hooks.h"
#include "diag/qm_com_exceptions.h"
#include "diag/status_lines.h"
#include "diag/version.h"
#include "dictionary/char_translation.h"
#include "job/transfer_job.h"
#include "link/serial_scale_link.h"
#include "platform/main_window.h"
#include "platform/platform.h"

TransferJob* g_transferJob = nullptr;
std::atomic<bool> g_finishing{false};
std::atomic<bool> g_noticeOnClose{true};

namespace {

std::atomic<int> g_outcome{static_cast<int>(ProcessOutcome::Stopped)};
// The text of the failure reported, for the box that names a file the report could not write.
// Written before the worker ends (or on the main thread), read after joining it.
std::string g_failureText;

void setOutcome(ProcessOutcome outcome) {
    g_outcome = static_cast<int>(outcome);
}

// Ends the main loop once the job is over; only the first call counts.
void finishJobOnce() {
    if (g_finishing.exchange(true)) {
        return;
    }
    g_noticeOnClose = false;
    platform::closeMainWindow();
}

// Reports a failure caught at one of the two catch sites. Exceptions other than the job's own
// (an allocation failure, say) are reported the same way with their text, so that no failure
// ends the process without a log.
void reportFailure(const QmComExceptions& failure) {
    setOutcome(ProcessOutcome::Failed);
    g_failureText = failure.message();
    failure.report();
}

// Writes the log and deletes it. When the log or the error file could not be written (a full
// file system, a working directory removed during the job), nothing in the working directory
// tells what happened: the failure's text and the files are then shown in an "Error" box, and
// the process ends as failed.
void closeLogAndShowWhatWasLost() {
    std::vector<std::string> lost = unwrittenFiles();
    clearUnwrittenFiles();
    if (g_log != nullptr && !g_log->close()) {
        const std::string& refusal = g_log->refusal();
        lost.push_back(g_log->filePath() + (refusal.empty() ? "" : " (" + refusal + ")"));
    }
    delete g_log;
    g_log = nullptr;
    if (lost.empty()) {
        return;
    }
    std::string text = g_failureText;
    for (const std::string& path : lost) {
        if (!text.empty()) {
            text += "\n";
        }
        text += "Can't write the file " + path;
    }
    setOutcome(ProcessOutcome::Failed);
    showError(text);
}

// The worker thread: runs the job step by step until it is over. Each step does its own
// waiting (the link reads with short time-outs), so this loop never spins.
void runWorker(TransferJob* job) {
    if (job == nullptr) {
        return;
    }
    for (;;) {
        try {
            const StepResult result = job->runStep();
            if (result != StepResult::CallAgain) {
                setOutcome(result == StepResult::Complete ? ProcessOutcome::Finished
                                                          : ProcessOutcome::Stopped);
                finishJob();
                break;
            }
        } catch (const QmComExceptions& failure) {
            reportFailure(failure);
            break;
        } catch (const std::exception& failure) {
            reportFailure(QmComExceptions(std::string(failure.what())));
            break;
        }
    }
}

}  // namespace

int runProcess(const std::string& commandLine) {
    const int showCommand = platform::initialShowCommand();
    const std::string programDir = platform::programDirectory();
    if (!platform::createMainWindow(kVersionBanner, showCommand)) {
        return static_cast<int>(ProcessOutcome::Failed);
    }
    setMainWindowCreated(true);
    setFinishJobHandler(finishJobOnce);

    try {
        g_messageTexts = new MessageTexts(programDir);
        g_transferJob = new TransferJob(prepareJob(commandLine),
                                        [](const LineSettings& line, const LinkSettings& link) {
                                            return std::make_unique<SerialScaleLink>(line, link);
                                        });
        createStatusLines(showCommand);
    } catch (const QmComExceptions& failure) {
        reportFailure(failure);
    } catch (const std::exception& failure) {
        reportFailure(QmComExceptions(std::string(failure.what())));
    }

    // The worker gets the job, or nothing when its construction failed (it then ends at once).
    std::thread worker(runWorker, g_transferJob);
    platform::runMessageLoop();

    const bool notice = g_noticeOnClose;
    if (g_transferJob != nullptr) {
        g_transferJob->requestStop();
    }
    worker.join();
    // The outcome is what the worker decided (a job stopped by the window ends as Stopped); a
    // close that came just after the job had finished or failed does not change it.
    if (notice) {
        if (g_messageTexts != nullptr) {
            showNotice(g_messageTexts->text(Message::JobStopped));
            if (g_log != nullptr) {
                g_log->addMessage(Message::JobStopped);
            }
        } else {
            showNotice("Stopped");
        }
    }
    delete g_transferJob;
    g_transferJob = nullptr;
    // Left behind when the job's construction failed after loading it.
    delete g_charTranslation;
    g_charTranslation = nullptr;
    delete g_messageTexts;
    g_messageTexts = nullptr;
    closeLogAndShowWhatWasLost();
    setFinishJobHandler(nullptr);
    return g_outcome;
}
