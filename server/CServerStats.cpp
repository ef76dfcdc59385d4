#include "server/CServerStats.h"

#include <ctime>

namespace tavik::server {

CServerStats::CServerStats() : startTime(static_cast<int32_t>(std::time(nullptr))) {}

} // namespace tavik::server
