// Reading and writing whole test files, and the WAVE facts tests check.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace cadrix::test {

inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `text`, creating the folders above it.
inline void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline uint32_t LE32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

// True when `bytes` is a WAVE file whose header announces exactly the bytes
// that follow it.
inline bool IsConsistentWave(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 44) return false;
    const uint32_t data = static_cast<uint32_t>(bytes.size() - 44);
    return std::memcmp(bytes.data(), "RIFF", 4) == 0 && LE32(bytes, 4) == data + 36 &&
           std::memcmp(bytes.data() + 36, "data", 4) == 0 && LE32(bytes, 40) == data;
}

}  // namespace cadrix::test
