#pragma once

#include <atomic>
#include <string>

class TransferJob;

// The process: creates the main window and the process-wide objects, runs the job on one
// worker thread while the main thread serves the window, and shuts everything down in a fixed
// order: the job, the message texts, the log (which writes "Kwlink.log").

// The one job; null while none exists. Written only by the main thread before the worker
// starts and after it has ended.
extern TransferJob* g_transferJob;
// finishJob has run; later calls do nothing.
extern std::atomic<bool> g_finishing;
// Still true at shutdown when the window was closed before the job had finished.
extern std::atomic<bool> g_noticeOnClose;

// How the process ended, as its exit status.
enum class ProcessOutcome : int {
    Finished = 0,  // the job finished
    Failed = 1,    // a failure was reported (an "Error" box, or the log and "Kwlink.Err")
    Stopped = 2,   // the job was stopped before it finished (window closed, signal)
};

// Runs the whole process for `commandLine` (the job string) and returns the exit status.
int runProcess(const std::string& commandLine);
