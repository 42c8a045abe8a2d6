// The creation time of a QuickTime or ISO base media file (MP4, MOV, 3GP), read by hand from
// its movie header: a few boxes are enough, where a library would parse the whole container.
#pragma once

#include <cstdint>
#include <string>

namespace photodate {

// Seconds since 1970-01-01T00:00:00Z of the movie header's creation time (stored in UTC);
// false when the file has none, or a zero one, or is not such a file. Reads box headers and
// the movie header only, never the media data.
bool ReadMovieCreationTime(const std::string& path, std::int64_t& secondsSinceEpoch);

} // namespace photodate
