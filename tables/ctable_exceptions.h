#pragma once

#include <cstdint>
#include <exception>

// Thrown by a table handler's CSV import when the table's file (or, for a table kept per
// scale number, every one of its files) cannot be read. Caught by the table catalog, which
// counts the import as failed and goes on with the next table.
class CTableExceptions : public std::exception {
  public:
    explicit CTableExceptions(std::int32_t code) : code_(code) {}

    const char* what() const noexcept override { return "a table file cannot be read"; }

    // 1: the file is missing or its heading line is empty.
    std::int32_t code() const { return code_; }

  private:
    std::int32_t code_;
};
