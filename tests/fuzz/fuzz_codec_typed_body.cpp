// Typed-body images on arbitrary bytes, as a frame's body carries them: parsing, every getter,
// record sets inside, and serialising again. Once a body has gone out and come back, doing so
// again changes nothing, scrambled or in clear.
#include "codec/CMsgRecordSet.h"
#include "codec/CMsgTypedBody.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using namespace tavik::app;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void readAll(const CMsgTypedBody& body) {
    for (const std::u16string& key : body.Keys()) {
        std::vector<uint8_t> bytes;
        uint8_t type = 0;
        check(body.GetBytes(key, bytes, &type));
        std::u16string text;
        int32_t number = 0;
        check(body.GetString(key, text) == (type == CMsgTypedBody::kValueString));
        body.GetInt(key, number);
        CMsgRecordSet set;
        if (body.GetRecordSet(key, set)) {
            while (set.NextRow()) {
                for (size_t i = 0; i < set.ColumnCount(); ++i) {
                    set.GetString(set.ColumnName(i), text);
                    set.GetInt(set.ColumnName(i), number);
                    set.GetBytes(set.ColumnName(i), bytes);
                }
            }
        }
    }
}

std::vector<uint8_t> roundTrip(const std::vector<uint8_t>& image) {
    CMsgTypedBody body;
    check(body.Parse(image));
    return body.Serialize(false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMsgTypedBody body;
    if (!body.Parse(std::span<const uint8_t>(data, size))) {
        check(body.Count() == 0);
        return 0;
    }
    readAll(body);
    std::vector<uint8_t> clear = body.Serialize(false);
    std::vector<uint8_t> scrambled = body.Serialize(true);
    check(clear.size() == scrambled.size());
    CMsgTypedBody fromScrambled;
    check(fromScrambled.Parse(scrambled));
    check(fromScrambled.Serialize(false) == roundTrip(clear));
    std::vector<uint8_t> once = roundTrip(clear);
    check(roundTrip(once) == once);
    return 0;
}
