#pragma once
// The size in bytes of the installer's executable image without anything
// appended: where its payload section must start.

#include <cstdint>

std::uint32_t SetupImageSize();
