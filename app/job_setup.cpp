#include "app/job_setup.h"

#include "diag/config_file.h"
#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/output_file.h"
#include "diag/qm_com_exceptions.h"
#include "dictionary/char_translation.h"
#include "platform/network_ports.h"
#include "platform/platform.h"

namespace {

// Locks the working directory for this job: one job at a time in a directory. A directory the
// job cannot create the lock file in (read-only, say) is used without it: nothing is written
// there anyway. A lock file someone else made (a link, a FIFO, another user's file) is not
// used: the job ends as if the directory were in use, and says why. With the lock held, the
// temporary files of killed jobs are cleared away.
platform::FileLock* lockWorkingDirectory(const std::string& workDir) {
    platform::FileLock* lock = nullptr;
    std::string refusal;
    switch (platform::lockFile(workDir + "Kwlink.lck", lock, refusal)) {
        case platform::LockResult::HeldByOther:
            throw QmComExceptions(Message::DirectoryInUse);
        case platform::LockResult::Refused: {
            const std::string text = g_messageTexts != nullptr
                                         ? g_messageTexts->text(Message::DirectoryInUse)
                                         : std::string();
            throw QmComExceptions(text + " (" + refusal + ")");
        }
        default:
            break;
    }
    if (lock != nullptr) {
        removeStaleTemporaryFiles(workDir);
    }
    return lock;
}

// The line before the greeting: 9600 baud, 7 data bits, odd parity, one stop bit, no
// handshake, queues of 4096 bytes (the link switches to 8 data bits after the greeting).
LineSettings greetingLineSettings() {
    LineSettings line;
    line.baudRate = 9600;
    line.format.dataBits = 7;
    line.format.parity = 1;
    line.format.stopBits = 0;
    line.handshake = 0;
    line.inputQueueSize = 4096;
    line.outputQueueSize = 4096;
    return line;
}

}  // namespace

JobInputs prepareJob(const std::string& commandLine) {
    JobInputs inputs;
    inputs.job = JobParameters(commandLine).result();
    if (!TransferJob::makeDirectory(inputs.job.workDir)) {
        throw QmComExceptions(Message::WorkDirNotCreated);
    }
    platform::FileLock* lock = lockWorkingDirectory(inputs.job.workDir);
    g_log = new JobLog(inputs.job.workDir);
    g_log->holdLock(lock);
    g_charTranslation = nullptr;
    g_charTranslation = new CharTranslation(platform::programDirectory());
    {
        ConfigFile config(platform::dataDirectory());
        if (inputs.job.portGiven) {
            config.setPort(static_cast<std::uint32_t>(inputs.job.port));
        }
        config.getSettings(inputs.linkSettings);
    }
    // Ports on the network: a file that cannot be used fails like a bad "Kwlink.cfg".
    {
        platform::NetworkPorts ports;
        std::string badLine;
        if (!platform::loadNetworkPorts(platform::programDirectory(), ports, badLine)) {
            g_log->add("Kwlink.ports: malformed line \"" + badLine + "\"");
            throw QmComExceptions(Message::ConfigurationFileWrong);
        }
    }
    inputs.lineSettings = greetingLineSettings();
    // A network port connects within the reply time-out.
    inputs.lineSettings.connectTimeoutMs =
        static_cast<std::uint32_t>(inputs.linkSettings.receiveTimeout * 1000);
    return inputs;
}
