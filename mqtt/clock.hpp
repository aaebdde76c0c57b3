// Time in the bridge: steady for timers, the wall clock for "received".
#pragma once

#include <chrono>
#include <cstdint>

namespace zmqtt {

using steady = std::chrono::steady_clock;
using time_point = steady::time_point;
inline constexpr time_point never = time_point::max();

inline int64_t wall_millis() {
	return std::chrono::duration_cast<std::chrono::milliseconds>(
		       std::chrono::system_clock::now().time_since_epoch())
		.count();
}

} // namespace zmqtt
