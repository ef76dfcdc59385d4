#include "app/settings/CSecuritySetting.h"

#include "app/settings/CProfile.h"

namespace tavik::app {

namespace {

constexpr std::u16string_view kSection = u"user";
constexpr std::u16string_view kEntry = u"Secure";

} // namespace

CSecuritySetting::Mode CSecuritySetting::Stored() {
    switch (CProfile().GetInt(kSection, kEntry, static_cast<uint32_t>(Mode::Required))) {
    case static_cast<uint32_t>(Mode::Off):
        return Mode::Off;
    case static_cast<uint32_t>(Mode::Preferred):
        return Mode::Preferred;
    default:
        // Anything unknown is read as the safe choice rather than as plain.
        return Mode::Required;
    }
}

bool CSecuritySetting::Store(Mode mode) {
    return CProfile().WriteInt(kSection, kEntry, static_cast<uint32_t>(mode));
}

} // namespace tavik::app
