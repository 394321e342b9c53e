// Turns the SWF data model into bytes: one tag with its header, or a whole
// uncompressed (FWS) file with its header and frame count, which
// CompressMovie turns into the zlib-compressed (CWS) file that is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "swf/swf_types.h"

namespace swf {

TagCode CodeOf(const Tag& tag);

// The bytes `actions` take in a DoAction or button action list, without the
// end flag that closes the list (what branches and function bodies measure).
std::size_t ActionLength(const std::vector<ActionRecord>& actions);

// The tag's header and body.
std::vector<std::uint8_t> EncodeTag(const Tag& tag);

// The whole file: "FWS", version, FileLength, frame size, rate, frame count
// (the number of ShowFrame tags), then the tags as given.
std::vector<std::uint8_t> EncodeMovie(const MovieFile& movie);

// The FWS file `fws` as a CWS file: "CWS", the same version and FileLength
// (the uncompressed size, as the format says), then everything after the
// first 8 bytes as one zlib stream at the best compression. Players read it
// from SWF 6 on.
std::vector<std::uint8_t> CompressMovie(const std::vector<std::uint8_t>& fws);

// The FWS file of a CWS (or FWS, returned as it is) file; throws
// quillet::Error when the file is neither or its stream is damaged.
std::vector<std::uint8_t> ExpandMovie(const std::vector<std::uint8_t>& file);

}  // namespace swf
