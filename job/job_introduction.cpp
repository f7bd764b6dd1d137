#include "job/job_introduction.h"

#include <string>

#include "diag/status_lines.h"
#include "job/job_output.h"

using job_output::format;
using job_output::log;
using job_output::logMessage;
using job_output::showAndLog;
using job_output::text;

void introduceJob(const JobParseResult& job, std::uint32_t port) {
    showAndLog(showLine1, text(Message::Title));
    static const Message kKindTexts[] = {Message::RestoreAll, Message::BackUpAll, Message::SendData,
                                         Message::FetchData};  // by jobKind
    const Message kindText = kKindTexts[job.jobKind & 3];
    showAndLog(showLine2, text(kindText) + ": " + text(Message::Port) +
                              format("[%01d]", static_cast<int>(port)));
    const bool restoreOrBackup = job.jobKind < 2;
    if (!restoreOrBackup) {
        std::string articles;
        if (job.articleGiven) {
            articles = text(Message::Articles);
            if (job.jobKind == 2) {
                articles += format("[%04d - %04d]", static_cast<int>(job.articleFrom),
                                   static_cast<int>(job.articleTo));
            } else {
                articles += "[" + text(Message::All) + "]";
            }
            articles += ": ";
        }
        std::string configuration;
        if (job.confGiven) {
            configuration = text(Message::Configuration) + ": " + text(Message::Numbers) +
                            format("[%02d - %02d]", job.confFrom, job.confTo);
        }
        showAndLog(showLine3, articles + configuration);
        if (job.tablesGiven) {
            std::string line = text(Message::Tables) + ": ";
            if (job.tableNameCount == JobParseResult::kAllTables) {
                line += text(Message::AllTables);
            } else {
                for (std::uint8_t i = 0; i < job.tableNameCount && i < job.tables.size(); ++i) {
                    line += " " + job.tables[i];
                }
            }
            showAndLog(showLine4, line);
        }
    } else {
        showAndLog(showLine3, text(Message::AllConfiguration) + ": " + text(Message::Numbers) +
                                  format("[%02d - %02d]", job.confFrom, job.confTo));
    }
    showAndLog(showLine5, job.workDir);
    logMessage(Message::WaitingForScale);
}
