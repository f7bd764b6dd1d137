#include "diag/qm_com_exceptions.h"

#include "diag/error_file.h"
#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/process_hooks.h"

QmComExceptions::QmComExceptions(const std::string& text) : message_(text) {}

QmComExceptions::QmComExceptions(std::int32_t number)
    : message_(g_messageTexts != nullptr ? g_messageTexts->text(number) : std::string("Error")) {}

void QmComExceptions::report() const {
    if (g_log != nullptr) {
        g_log->add("Abort with Error");
        g_log->add(message_);
        ErrorFile errorFile(g_log->directory(), message_);
        if (!errorFile.written()) {
            noteUnwrittenFile(errorFile.path());
        }
    } else {
        showError(message_);
    }
    finishJob();
}
