#pragma once

// The program's version banner: the title of the main window and the head of every log.
inline constexpr const char* kVersionBanner = "Kwlink Version 1.00/6E - kwlink project";
