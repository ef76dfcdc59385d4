// Records decoded from two "|"-separated lists, as the disk-information reply carries them: a
// list of field names and a list of values, each item followed by "|" (a missing "|" after the
// last item is tolerated). With F names and V values there are V / F records, the values assigned
// record by record, within a record in name order. No item can hold "|".
// A value type; one thread at a time per object.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::app {

class CFormMessage;

class CFormRecordTable {
public:
    // Replaces the records. False, leaving none, when the name list is empty or V is not a
    // multiple of F. An empty value list gives zero records and succeeds.
    bool Load(std::u16string_view names, std::u16string_view values);
    // The same from two values of a message; false too when either is missing.
    bool Load(const CFormMessage& message, std::u16string_view namesKey,
              std::u16string_view valuesKey);

    // False for a record index out of range or a field the names do not hold.
    bool GetValue(size_t record, std::u16string_view field, std::u16string& value) const;
    size_t RecordCount() const { return records_.size(); }

private:
    std::vector<std::map<std::u16string, std::u16string, std::less<>>> records_;
};

} // namespace tavik::app
