#include "dictionary/text_lines_value.h"

#include <algorithm>

#include "dictionary/char_translation.h"
#include "dictionary/value_codec.h"

void TextLinesValue::setText(const std::string& text) {
    if (fillCount_ < lineCount_) {
        slots_[fillCount_++] = text;
    }
}

void TextLinesValue::setField(std::uint32_t index, const std::string& text) {
    if (index < lineCount_) {
        slots_[index] = text;
    }
}

void TextLinesValue::writeCsv(std::string& out) const {
    for (std::uint32_t i = 0; i < lineCount_; ++i) {
        out += slots_[i];
        out.push_back(';');
    }
}

int TextLinesValue::decode(const std::string& record, std::size_t& pos, std::size_t length) {
    length = std::min(length, record.size());
    auto store = [this](std::uint32_t line, std::string text) {
        if (g_charTranslation != nullptr) {
            g_charTranslation->fromScale(text);
        }
        slots_[line] = std::move(text);
    };
    if (pos >= length) {
        return 0;  // not even a line number: nothing to read
    }
    for (std::uint32_t i = 0; i < lineCount_; ++i) {
        ++pos;  // the line number, whose value does not matter
        if (pos == length) {
            return 0;
        }
        if (pos > length) {
            // An earlier line ran to the end of the record.
            slots_[i].clear();
            continue;
        }
        const std::size_t start = pos;
        while (pos < length && record[pos] != record_bytes::kEtb &&
               record[pos] != record_bytes::kEtx) {
            ++pos;
        }
        std::string text = record.substr(start, pos - start);
        if (pos >= length) {
            store(i, std::move(text));
            continue;
        }
        if (record[pos] == record_bytes::kEtx) {
            store(i, std::move(text));
            return 1;
        }
        ++pos;  // over the ETB
        if (pos >= length) {
            store(i, std::move(text));
            return 1;
        }
        if (static_cast<std::uint8_t>(record[pos]) != busSign()) {
            --pos;  // the next group belongs to another attribute: leave its ETB to the caller
            store(i, std::move(text));
            return 1;
        }
        ++pos;  // over this attribute's sign of the next line
        if (pos >= length) {
            return 0;
        }
        store(i, std::move(text));
    }
    return 1;
}

void TextLinesValue::encode(std::string& out) {
    for (std::uint32_t i = 0; i < lineCount_; ++i) {
        std::string text = slots_[i];
        if (g_charTranslation != nullptr) {
            g_charTranslation->toScale(text);
        }
        appendGroupStart(out);
        out.push_back(static_cast<char>('1' + i));
        if (text.empty()) {
            out.push_back('0');
        } else {
            if (text[0] < '0' || text[0] > '8') {
                out.push_back('2');
            }
            out += text;
        }
        out.push_back(record_bytes::kEtb);
    }
}

bool TextLinesValue::isValidText(const std::string& text) const {
    return text.find(record_bytes::kEtb) == std::string::npos &&
           text.find(record_bytes::kEtx) == std::string::npos;
}
