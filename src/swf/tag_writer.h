// Turns the SWF data model into bytes: one tag with its header, or a whole
// uncompressed (FWS) file with its header and frame count.
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

}  // namespace swf
