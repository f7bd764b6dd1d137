#include "dictionary/char_value.h"

#include "dictionary/value_codec.h"

void CharValue::setText(const std::string& text) {
    *slot_ = text;
}

void CharValue::writeCsv(std::string& out) const {
    out += *slot_;
    out.push_back(';');
}

int CharValue::decode(const std::string& record, std::size_t& pos, std::size_t length) {
    if (pos >= length || pos >= record.size()) {
        return 0;
    }
    const char c = record[pos];
    if (c == record_bytes::kEtb || c == record_bytes::kEtx) {
        slot_->clear();
        return 1;
    }
    slot_->assign(1, c);
    ++pos;
    return 1;
}

void CharValue::encode(std::string& out) {
    appendGroupStart(out);
    out += *slot_;
    out.push_back(record_bytes::kEtb);
}

bool CharValue::isValidText(const std::string& text) const {
    return text.empty() ||
           (text.size() == 1 && text[0] != record_bytes::kEtb && text[0] != record_bytes::kEtx);
}
