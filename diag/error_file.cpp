#include "diag/error_file.h"

#include "diag/output_file.h"

ErrorFile::ErrorFile(const std::string& directory, const std::string& text)
    : path_(directory + "Kwlink.Err") {
    written_ = writeOutputFile(path_, text);
}
