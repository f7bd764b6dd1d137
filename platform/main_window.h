// The program's main window and its message loop.
//
// On Windows this is a real window of class "Harlow-API" with twelve STATIC child controls,
// and the message loop of the main thread. The Linux console program stands in for it: the
// status rows go to standard output, closing the window is SIGINT, SIGTERM or SIGHUP, and the
// message loop is the main thread waiting for one of those or for closeMainWindow().
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// Number of status rows of the window; rows are numbered 1 to 7.
constexpr int kStatusRows = 7;

// Registers the window class and creates and shows the main window with `title`. On POSIX it
// also routes SIGINT, SIGTERM and SIGHUP to the message loop and ignores SIGPIPE; call it on
// the main thread before any other thread is started. False when the window class cannot be
// registered.
bool createMainWindow(const std::string& title, int showCommand);

// Creates the caption labels and the value lines of the seven rows. `captions[r]` is the
// caption of row r + 1; rows without a caption label pass an empty text and `hasCaption` false.
// Every value line starts with the text ":".
void createStatusControls(const std::array<std::string, kStatusRows>& captions,
                          const std::array<bool, kStatusRows>& hasCaption, int showCommand);

// Replaces the whole text of value line `row` (1..7) by `text` (what the line shows, ": "
// included) and shows it at once. Does nothing when
// the controls were not created. Callable from the worker thread; a closed window makes it a
// harmless no-op.
void setStatusLine(int row, const std::string& text);

// The records of the table `table` being moved: `done` of `total` so far (`total` 0 while it is
// not known, as in a fetch). The console shows the count and the time left at the rate measured
// since `done` was 0 on the table's row; when its output is no terminal it prints nothing per
// record, only one line per table (endTableProgress). The window keeps its rows as they are and
// ignores both. Callable from the worker thread.
void setTableProgress(const std::string& table, std::uint32_t done, std::uint32_t total);
// The table is through: `records` records were moved.
void endTableProgress(const std::string& table, std::uint32_t records);

// Runs the message loop on the main thread until the window is closed or closeMainWindow()
// is called, whichever comes first; returns at once when that has already happened.
void runMessageLoop();

// Ends the message loop: on Windows a WM_DESTROY posted to the main window, served by the main
// thread. Callable from any thread; never waits for the main thread.
void closeMainWindow();

// The show command the program was started with (SW_SHOWDEFAULT-like default on POSIX).
int initialShowCommand();

}  // namespace platform
