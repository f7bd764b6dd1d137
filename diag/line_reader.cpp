#include "diag/line_reader.h"

LineReader::Result LineReader::next(std::string& line) {
    line.clear();
    truncated_ = false;
    // The stream buffer is read directly (an istream's getline cannot stop keeping bytes
    // without stopping reading); it reports a failed read (a directory opened as a file) by an
    // exception, which an istream would have turned into its bad state.
    try {
        return readLine(line);
    } catch (const std::ios_base::failure&) {
        in_.setstate(std::ios::badbit);
        line.clear();
        return Result::End;
    }
}

LineReader::Result LineReader::readLine(std::string& line) {
    std::streambuf* buffer = in_.rdbuf();
    if (!in_.good() || buffer == nullptr) {
        return Result::End;
    }
    using Traits = std::streambuf::traits_type;
    Traits::int_type c = buffer->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
        in_.setstate(std::ios::eofbit);
        return Result::End;
    }
    // One byte more than the limit is kept for a while, so that a CR right before the LF
    // of a line of exactly maxLength bytes is not taken for an overlong line.
    const std::size_t keep = maxLength_ == kNoLimit ? kNoLimit : maxLength_ + 1;
    while (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n') {
        if (line.size() < keep) {
            line.push_back(Traits::to_char_type(c));
        } else {
            truncated_ = true;
        }
        c = buffer->sbumpc();
    }
    if (Traits::eq_int_type(c, Traits::eof())) {
        in_.setstate(std::ios::eofbit);
    }
    if (!truncated_ && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.size() > maxLength_) {
        line.resize(maxLength_);
        truncated_ = true;
    }
    return Result::Line;
}
