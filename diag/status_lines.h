#pragma once

#include <cstdint>
#include <string>

// The status lines of the main window: five caption labels (message texts 21, 3, 4, 5 and 6)
// and seven value lines that the job rewrites while it runs. Each value line shows ": "
// followed by the last text given to it.

// Builds the twelve controls. Does nothing (every line stays without control) while there is
// no main window or no message texts.
void createStatusLines(int showCommand);

// Replace the text of value line 1 to 7. Called from the worker thread; does nothing while the
// line has no control.
void showLine1(const std::string& text);
void showLine2(const std::string& text);
void showLine3(const std::string& text);
void showLine4(const std::string& text);
void showLine5(const std::string& text);
void showLine6(const std::string& text);
void showLine7(const std::string& text);

// The same for line `row` (1..7).
void showLine(int row, const std::string& text);

// Tells the status lines whether a main window exists (set by the process entry).
void setMainWindowCreated(bool created);

// The progress of the table being moved, for a front end that shows it beside line 7 (see
// platform::setTableProgress): `done` of `total` records (`total` 0: not known), and its end.
void showTableProgress(const std::string& table, std::uint32_t done, std::uint32_t total);
void showTableDone(const std::string& table, std::uint32_t records);
