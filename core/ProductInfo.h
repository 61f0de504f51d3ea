#pragma once
// Texts shown where the device's identity stands before one answered.

namespace device {

inline constexpr const char* kNotFoundYet = "Not Found Yet!";

} // namespace device
