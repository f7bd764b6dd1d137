#pragma once

#include <functional>
#include <string>
#include <vector>

// The failure report and the status texts reach the process shell (its message boxes and its
// finishJob) through these replaceable hooks. The shell installs its own handlers; tests
// install recorders, so that a report runs without a box waiting for a click.

// Ends the process's main loop once the job is over. Does nothing until a handler is set.
void finishJob();
void setFinishJobHandler(std::function<void()> handler);

// The "Error" box (error icon) and the "Meldung" box (warning icon). By default they go to the
// platform's message box.
void showError(const std::string& text);
void showNotice(const std::string& text);

using MessageBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;
// Replaces the message boxes; an empty handler restores the platform's boxes.
void setMessageBoxHandler(MessageBoxHandler handler);

// Files of the job's own record (the error file, the log) that could not be written. The shell
// shows them at the end in an "Error" box, so that a failure is never left without a trace.
void noteUnwrittenFile(const std::string& path);
std::vector<std::string> unwrittenFiles();
void clearUnwrittenFiles();
