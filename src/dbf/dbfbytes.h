// Little- and big-endian fields of the table, memo and index files, assembled byte by byte.
#pragma once

#include <cstdint>

namespace dbfbytes {

inline std::uint16_t readLE16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readLE32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint32_t readBE32(const std::uint8_t *p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

inline std::uint64_t readBE64(const std::uint8_t *p)
{
    return (static_cast<std::uint64_t>(readBE32(p)) << 32) | readBE32(p + 4);
}

inline void writeLE16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void writeLE32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void writeBE32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

inline void writeBE64(std::uint8_t *p, std::uint64_t v)
{
    writeBE32(p, static_cast<std::uint32_t>(v >> 32));
    writeBE32(p + 4, static_cast<std::uint32_t>(v));
}

} // namespace dbfbytes
