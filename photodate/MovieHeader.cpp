#include "MovieHeader.h"

#include <array>
#include <fstream>

namespace photodate {

namespace {

// From 1904-01-01, the format's epoch, to 1970-01-01.
constexpr std::int64_t EpochShift = 2082844800;
// A hostile file cannot make the walk long: real files have a handful of boxes at each level.
constexpr int MostBoxes = 256;

std::uint64_t bigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

struct Box {
    std::uint64_t start = 0; // where its content begins
    std::uint64_t end = 0;   // one past its last byte
    std::array<char, 4> type{};
};

// The box whose header starts at `at`, within [at, limit).
bool readBox(std::ifstream& file, std::uint64_t at, std::uint64_t limit, Box& box) {
    if (limit < at || limit - at < 8)
        return false;
    unsigned char header[16];
    file.seekg(static_cast<std::streamoff>(at));
    if (!file.read(reinterpret_cast<char*>(header), 8))
        return false;
    std::uint64_t size = bigEndian(header, 4);
    std::uint64_t headerSize = 8;
    if (size == 1) {
        if (limit - at < 16 || !file.read(reinterpret_cast<char*>(header) + 8, 8))
            return false;
        size = bigEndian(header + 8, 8);
        headerSize = 16;
    } else if (size == 0) {
        size = limit - at; // to the end of its container
    }
    if (size < headerSize || size > limit - at)
        return false;
    box.start = at + headerSize;
    box.end = at + size;
    for (int i = 0; i < 4; ++i)
        box.type[i] = static_cast<char>(header[4 + i]);
    return true;
}

bool is(const Box& box, const char* type) {
    return box.type[0] == type[0] && box.type[1] == type[1] && box.type[2] == type[2] &&
           box.type[3] == type[3];
}

} // namespace

bool ReadMovieCreationTime(const std::string& path, std::int64_t& secondsSinceEpoch) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    if (length <= 0)
        return false;
    const auto size = static_cast<std::uint64_t>(length);
    std::uint64_t at = 0;
    for (int top = 0; top < MostBoxes && at < size; ++top) {
        Box box;
        if (!readBox(file, at, size, box))
            return false;
        if (is(box, "moov")) {
            std::uint64_t inner = box.start;
            for (int child = 0; child < MostBoxes && inner < box.end; ++child) {
                Box header;
                if (!readBox(file, inner, box.end, header))
                    return false;
                if (is(header, "mvhd")) {
                    unsigned char content[12];
                    const std::uint64_t room = header.end - header.start;
                    file.seekg(static_cast<std::streamoff>(header.start));
                    if (room < 8 || !file.read(reinterpret_cast<char*>(content), 4))
                        return false;
                    const int version = content[0];
                    const int width = version == 1 ? 8 : 4;
                    if (version > 1 || room < std::uint64_t(4 + width) ||
                        !file.read(reinterpret_cast<char*>(content + 4), width))
                        return false;
                    const std::uint64_t created = bigEndian(content + 4, width);
                    if (created == 0 || created > std::uint64_t(INT64_MAX) - EpochShift)
                        return false;
                    secondsSinceEpoch = static_cast<std::int64_t>(created) - EpochShift;
                    return true;
                }
                inner = header.end;
            }
            return false;
        }
        at = box.end;
    }
    return false;
}

} // namespace photodate
