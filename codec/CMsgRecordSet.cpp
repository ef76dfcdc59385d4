#include "codec/CMsgRecordSet.h"

#include "codec/ByteOrder.h"
#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <limits>

namespace tavik::app {

namespace {

constexpr size_t kFixedBytes = 8;
constexpr size_t kMaxRows = std::numeric_limits<uint16_t>::max();

bool isIntType(uint8_t type) {
    return type == CMsgRecordSet::kColumnInt || type == CMsgRecordSet::kColumnInt4;
}

bool sameType(uint8_t wanted, uint8_t actual) {
    return wanted == actual || (isIntType(wanted) && isIntType(actual));
}

} // namespace

bool CMsgRecordSet::AddColumn(std::u16string_view name, uint8_t type, uint16_t size) {
    std::string ansi = platform::toAnsi(name);
    if (headerWritten_ || loaded_ || ansi.empty() ||
        ansi.size() > std::numeric_limits<uint16_t>::max()) {
        return false;
    }
    bool sizeFits =
        isIntType(type) ? size == 4 : (type == kColumnString || type == kColumnBytes) && size > 0;
    if (!sizeFits) {
        return false;
    }
    for (const Column& column : columns_) {
        if (column.name == ansi) {
            return false;
        }
    }
    std::vector<uint8_t> initial;
    if (type == kColumnString) {
        initial = {0};
    } else if (isIntType(type)) {
        initial = {0, 0, 0, 0};
    }
    columns_.push_back({std::move(ansi), type, size, std::move(initial)});
    return true;
}

bool CMsgRecordSet::WriteHeader() {
    if (headerWritten_ || loaded_ || columns_.empty()) {
        return false;
    }
    std::sort(columns_.begin(), columns_.end(),
              [](const Column& a, const Column& b) { return a.name < b.name; });
    // Length and row count are placeholders until Finish.
    image_.assign(kFixedBytes, 0);
    image_[4] = static_cast<uint8_t>(columns_.size() >> 8);
    image_[5] = static_cast<uint8_t>(columns_.size());
    for (const Column& column : columns_) {
        image_.push_back(column.type);
        AppendU16BigEndian(image_, column.size);
        AppendU16BigEndian(image_, static_cast<uint16_t>(column.name.size()));
        image_.insert(image_.end(), column.name.begin(), column.name.end());
        image_.push_back(0);
    }
    headerWritten_ = true;
    return true;
}

bool CMsgRecordSet::SetString(std::u16string_view column, std::u16string_view text) {
    Column* found = findColumn(column, kColumnString);
    std::string ansi = platform::toAnsi(text);
    if (found == nullptr || ansi.size() + 1 > found->size) {
        return false;
    }
    found->cell.assign(ansi.begin(), ansi.end());
    found->cell.push_back(0);
    return true;
}

bool CMsgRecordSet::SetBytes(std::u16string_view column, std::span<const uint8_t> bytes) {
    Column* found = findColumn(column, kColumnBytes);
    if (found == nullptr || bytes.size() > found->size) {
        return false;
    }
    found->cell.assign(bytes.begin(), bytes.end());
    return true;
}

bool CMsgRecordSet::SetInt(std::u16string_view column, int32_t value) {
    Column* found = findColumn(column, kColumnInt);
    if (found == nullptr) {
        return false;
    }
    found->cell.clear();
    AppendU32BigEndian(found->cell, static_cast<uint32_t>(value));
    return true;
}

bool CMsgRecordSet::AddRow() {
    if (!headerWritten_ || finished_ || rowCount_ >= kMaxRows) {
        return false;
    }
    size_t rowBytes = 0;
    for (const Column& column : columns_) {
        rowBytes += 2 + column.cell.size();
    }
    if (image_.size() + rowBytes > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    for (const Column& column : columns_) {
        AppendU16BigEndian(image_, static_cast<uint16_t>(column.cell.size()));
        image_.insert(image_.end(), column.cell.begin(), column.cell.end());
    }
    ++rowCount_;
    return true;
}

bool CMsgRecordSet::Finish() {
    if (!headerWritten_) {
        return false;
    }
    WriteU32BigEndian(image_.data(), static_cast<uint32_t>(image_.size() - 4));
    image_[6] = static_cast<uint8_t>(rowCount_ >> 8);
    image_[7] = static_cast<uint8_t>(rowCount_);
    finished_ = true;
    return true;
}

bool CMsgRecordSet::Load(std::span<const uint8_t> image) {
    *this = CMsgRecordSet();
    image_.assign(image.begin(), image.end());
    size_t at = kFixedBytes;
    if (image_.size() < kFixedBytes || ReadU32BigEndian(image_.data()) != image_.size() - 4 ||
        !readColumns(at) || !skipRows(at)) {
        *this = CMsgRecordSet();
        return false;
    }
    rowCount_ = ReadU16BigEndian(image_.data() + 6);
    readAt_ = at;
    loaded_ = true;
    headerWritten_ = true;
    finished_ = true;
    return true;
}

bool CMsgRecordSet::readColumns(size_t& at) {
    size_t count = ReadU16BigEndian(image_.data() + 4);
    for (size_t i = 0; i < count; ++i) {
        if (image_.size() - at < 5) {
            return false;
        }
        uint8_t type = image_[at];
        uint16_t size = ReadU16BigEndian(image_.data() + at + 1);
        size_t nameLength = ReadU16BigEndian(image_.data() + at + 3);
        at += 5;
        if (type < kColumnString || type > kColumnInt4 || image_.size() - at < nameLength + 1) {
            return false;
        }
        std::string name(image_.begin() + at, image_.begin() + at + nameLength);
        at += nameLength + 1;
        columns_.push_back({std::move(name), type, size, {}});
    }
    return true;
}

bool CMsgRecordSet::skipRows(size_t at) const {
    size_t rows = ReadU16BigEndian(image_.data() + 6);
    for (size_t row = 0; row < rows; ++row) {
        for (const Column& column : columns_) {
            if (image_.size() - at < 2) {
                return false;
            }
            size_t length = ReadU16BigEndian(image_.data() + at);
            at += 2;
            if (length > column.size || image_.size() - at < length) {
                return false;
            }
            at += length;
        }
    }
    return at == image_.size();
}

bool CMsgRecordSet::NextRow() {
    if (!loaded_ || rowsRead_ >= rowCount_) {
        return false;
    }
    // Load has checked every cell, so the reads below stay inside the image.
    for (Column& column : columns_) {
        size_t length = ReadU16BigEndian(image_.data() + readAt_);
        readAt_ += 2;
        column.cell.assign(image_.begin() + readAt_, image_.begin() + readAt_ + length);
        readAt_ += length;
    }
    ++rowsRead_;
    return true;
}

bool CMsgRecordSet::GetString(std::u16string_view column, std::u16string& text) const {
    const Column* found = findColumn(column, kColumnString);
    if (found == nullptr) {
        return false;
    }
    auto nul = std::find(found->cell.begin(), found->cell.end(), uint8_t{0});
    text = platform::fromAnsi(std::string(found->cell.begin(), nul));
    return true;
}

bool CMsgRecordSet::GetBytes(std::u16string_view column, std::vector<uint8_t>& bytes) const {
    const Column* found = findColumn(column, kColumnBytes);
    if (found == nullptr) {
        return false;
    }
    bytes = found->cell;
    return true;
}

bool CMsgRecordSet::GetInt(std::u16string_view column, int32_t& value) const {
    const Column* found = findColumn(column, kColumnInt);
    if (found == nullptr || found->cell.size() != 4) {
        return false;
    }
    value = static_cast<int32_t>(ReadU32BigEndian(found->cell.data()));
    return true;
}

std::u16string CMsgRecordSet::ColumnName(size_t index) const {
    return platform::fromAnsi(columns_[index].name);
}

CMsgRecordSet::Column* CMsgRecordSet::findColumn(std::u16string_view name, uint8_t type) {
    int index = columnIndex(name, type);
    return index < 0 ? nullptr : &columns_[index];
}

const CMsgRecordSet::Column* CMsgRecordSet::findColumn(std::u16string_view name,
                                                       uint8_t type) const {
    int index = columnIndex(name, type);
    return index < 0 ? nullptr : &columns_[index];
}

int CMsgRecordSet::columnIndex(std::u16string_view name, uint8_t type) const {
    std::string ansi = platform::toAnsi(name);
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].name == ansi) {
            return sameType(type, columns_[i].type) ? static_cast<int>(i) : -1;
        }
    }
    return -1;
}

} // namespace tavik::app
