// A small PNG encoder: 8-bit RGB, no filtering, zlib stored blocks. Enough to
// look at a screen, with no library beyond the standard one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// rgb: height rows of width pixels, top row first, 3 bytes (R, G, B) each.
std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height,
                                    const std::vector<std::uint8_t>& rgb);

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

}  // namespace standin
