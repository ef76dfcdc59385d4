#include "codec/CMsgTextTable.h"

#include "codec/MsgText.h"

#include <algorithm>

namespace tavik::app {

bool CMsgTextTable::AddColumn(std::u16string_view name) {
    std::u16string normal = NormaliseMsgKey(name);
    if (closed_ || normal.empty() || columnIndex(normal) >= 0) {
        return false;
    }
    columns_.push_back(std::move(normal));
    cells_.emplace_back();
    return true;
}

void CMsgTextTable::CloseColumns() {
    closed_ = true;
}

bool CMsgTextTable::SetCell(std::u16string_view column, std::u16string_view text) {
    int index = columnIndex(column);
    if (index < 0) {
        return false;
    }
    cells_[index] = text;
    return true;
}

bool CMsgTextTable::SetCellInt(std::u16string_view column, int32_t value) {
    return SetCell(column, MsgIntToText(value));
}

bool CMsgTextTable::AddRow() {
    if (!closed_) {
        return false;
    }
    for (const std::u16string& cell : cells_) {
        rowsText_ += EscapeMsgText(cell);
        rowsText_ += u'|';
    }
    ++rowCount_;
    return true;
}

std::u16string CMsgTextTable::Format() const {
    std::u16string text;
    for (const std::u16string& column : columns_) {
        text += EscapeMsgText(column);
        text += u'|';
    }
    text += u'&';
    text += MsgIntToText(static_cast<int32_t>(std::min<size_t>(rowCount_, INT32_MAX)));
    text += u'&';
    text += rowsText_;
    return text;
}

bool CMsgTextTable::Parse(std::u16string_view text) {
    *this = CMsgTextTable();
    size_t firstAmp = text.find(u'&');
    size_t secondAmp =
        firstAmp == std::u16string_view::npos ? firstAmp : text.find(u'&', firstAmp + 1);
    if (secondAmp == std::u16string_view::npos) {
        return false;
    }
    std::u16string_view count = text.substr(firstAmp + 1, secondAmp - firstAmp - 1);
    if (count.empty() || count.size() > 9 ||
        !std::all_of(count.begin(), count.end(),
                     [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
        return false;
    }
    std::u16string_view names = text.substr(0, firstAmp);
    while (!names.empty()) {
        size_t bar = names.find(u'|');
        if (!AddColumn(UnescapeMsgText(names.substr(0, bar)))) {
            *this = CMsgTextTable();
            return false;
        }
        names = bar == std::u16string_view::npos ? std::u16string_view() : names.substr(bar + 1);
    }
    closed_ = true;
    rowCount_ = static_cast<size_t>(MsgTextToInt(count));
    rowsText_ = text.substr(secondAmp + 1);
    return true;
}

bool CMsgTextTable::NextRow() {
    if (!closed_ || rowsRead_ >= rowCount_ || readAt_ >= rowsText_.size()) {
        return false;
    }
    std::u16string_view rest(rowsText_);
    for (std::u16string& cell : cells_) {
        size_t bar = rest.find(u'|', std::min(readAt_, rest.size()));
        size_t end = bar == std::u16string_view::npos ? rest.size() : bar;
        cell = readAt_ < rest.size() ? UnescapeMsgText(rest.substr(readAt_, end - readAt_))
                                     : std::u16string();
        readAt_ = end + 1;
    }
    ++rowsRead_;
    return true;
}

bool CMsgTextTable::GetCell(std::u16string_view column, std::u16string& text) const {
    int index = columnIndex(column);
    if (index < 0) {
        return false;
    }
    text = cells_[index];
    return true;
}

int CMsgTextTable::columnIndex(std::u16string_view column) const {
    std::u16string normal = NormaliseMsgKey(column);
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i] == normal) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace tavik::app
