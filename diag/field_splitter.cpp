#include "diag/field_splitter.h"

bool FieldSplitter::next(std::string& field) {
    std::string::size_type start = text_.find_first_not_of(separator_, position_);
    if (start == std::string::npos) {
        position_ = text_.size();
        return false;
    }
    std::string::size_type end = text_.find(separator_, start);
    if (end == std::string::npos) {
        end = text_.size();
    }
    field.assign(text_, start, end - start);
    position_ = end;
    return true;
}
