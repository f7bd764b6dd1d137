#pragma once

#include <string>

// Splits a text into fields the way C strtok does, without modifying the text or keeping
// hidden state: a run of separators counts as one, leading separators are skipped, and an
// empty field is never delivered.
class FieldSplitter {
  public:
    FieldSplitter(const std::string& text, char separator) : text_(text), separator_(separator) {}

    // The next non-empty field; false when none is left.
    bool next(std::string& field);

  private:
    const std::string& text_;
    char separator_;
    std::string::size_type position_ = 0;
};
