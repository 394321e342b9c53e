// The movie library: a random sequence of its calls on four objects and two
// actions. Every call is either refused with quillet::Error or accepted; the
// movie is then refused as a whole or encoded as an SWF file whose header
// and tags read back: the file length, the frame count, every tag within the
// file, the End tag last, each character defined once before it is placed,
// and every removal taking out a depth that holds something.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/picture_file.h"
#include "swf/movie.h"
#include "swf/tag_writer.h"

namespace {

using quillet::fuzz::Input;

[[noreturn]] void Fail() { __builtin_trap(); }

// Reads an encoded movie back; traps at the first thing that does not parse.
void CheckMovie(const std::vector<std::uint8_t>& file) {
  std::size_t at = 0;
  const auto need = [&](std::size_t count) {
    if (count > file.size() - at) Fail();
  };
  const auto u8 = [&] {
    need(1);
    return file[at++];
  };
  const auto u16 = [&] {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
  };
  const auto u32 = [&] {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
  };
  if (u8() != 'F' || u8() != 'W' || u8() != 'S') Fail();
  u8();  // version
  if (u32() != file.size()) Fail();
  const int bits = u8() >> 3;  // RECT: 5 bits of size, then four fields
  at += (5 + 4 * bits + 7) / 8 - 1;
  need(0);
  u16();  // frame rate
  const std::uint16_t frameCount = u16();

  std::set<std::uint16_t> characters;
  std::set<std::uint16_t> depths;
  std::uint32_t frames = 0;
  bool ended = false;
  while (!ended) {
    const std::uint16_t header = u16();
    const std::uint16_t code = header >> 6;
    std::uint32_t length = header & 0x3F;
    if (length == 0x3F) length = u32();
    need(length);
    const std::size_t end = at + length;
    switch (code) {
      case 0:  // End
        if (length != 0 || end != file.size()) Fail();
        ended = true;
        break;
      case 1: ++frames; break;
      case 2:
      case 11:
      case 21:
      case 22:
      case 32:
      case 33:
      case 34:
      case 48:
      case 75:  // definitions
        if (length < 2 || !characters.insert(u16()).second) Fail();
        break;
      case 26: {  // PlaceObject2
        const std::uint8_t flags = u8();
        const std::uint16_t depth = u16();
        const bool moves = (flags & 0x01) != 0;
        if ((flags & 0x02) != 0 && characters.count(u16()) == 0) Fail();
        if (moves != (depths.count(depth) != 0)) Fail();
        depths.insert(depth);
        break;
      }
      case 28:  // RemoveObject2
        if (depths.erase(u16()) != 1) Fail();
        break;
      default: break;
    }
    if (at > end) Fail();
    at = end;
  }
  if (frames != frameCount) Fail();
}

float Coordinate(Input& input) {
  switch (input.Byte() % 8) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return std::numeric_limits<float>::infinity();
    case 2: return -1e9f;
    case 3: return 1e9f;
    default: return static_cast<float>(static_cast<std::int16_t>(input.Word()));
  }
}

std::int16_t Small(Input& input) { return static_cast<std::int16_t>(input.Word()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string picture = [] {
    const auto path = quillet::fuzz::Scratch() / "slide.jpg";
    quillet::WriteJpeg(quillet::Surface(16, 8, {128, 128, 128}), path, 75);
    return path.string();
  }();
  Input input(data, size);
  swf::Movie movie;
  swf::Object objects[4];
  swf::Action actions[2];
  for (int call = 0; call < 64 && !input.Empty(); ++call) {
    swf::Object& object = objects[input.Byte() % 4];
    swf::Object& other = objects[input.Byte() % 4];
    swf::Action& action = actions[input.Byte() % 2];
    try {
      switch (input.Byte() % 17) {
        case 0: movie.SetSize(Coordinate(input), Coordinate(input)); break;
        case 1: movie.SetFrameBkColor(Small(input), Small(input), Small(input)); break;
        case 2: movie.SetFrameRate(Small(input)); break;
        case 3: movie.GotoFrame(static_cast<std::int16_t>(input.Range(-2, 40))); break;
        case 4: movie.AddAction(action); break;
        case 5: movie.AddObject(object); break;
        case 6: movie.RemoveObject(object); break;
        case 7: action.MakeActionStop(); break;
        case 8: action.MakeActionPlay(); break;
        case 9: action.MakeActionGotoFrame(input.Range(-2, 40)); break;
        case 10: object.MakePolygon(Coordinate(input), Coordinate(input)); break;
        case 11: object.AddStraightLine(Small(input), Small(input)); break;
        case 12: object.SetSolidFill(Small(input), Small(input), Small(input), Small(input)); break;
        case 13: {
          std::int16_t add[8];
          for (std::int16_t& term : add) term = Small(input);
          object.MakeButtonSimple(other, add[0], add[1], add[2], add[3], add[4], add[5], add[6], add[7]);
          break;
        }
        case 14: {
          const float x = Coordinate(input), y = Coordinate(input);
          const std::int16_t textSize = Small(input);
          object.MakeTextSimple("Arial", input.Text(12), x, y, textSize);
          break;
        }
        case 15: {
          const std::int16_t x = Small(input), y = Small(input);
          const float w = Coordinate(input), h = Coordinate(input), pw = Coordinate(input), ph = Coordinate(input);
          object.MakePicture(x, y, w, h, pw, ph, picture);
          break;
        }
        case 16: object.QueueEvent(action, Small(input)); break;
      }
    } catch (const quillet::Error&) {
    }
  }
  std::vector<std::uint8_t> file;
  try {
    file = movie.Encode();
  } catch (const quillet::Error&) {
    return 0;
  }
  // The movie is written compressed (CWS); its FWS form is checked.
  if (file.size() < 3 || file[0] != 'C' || file[1] != 'W' || file[2] != 'S') Fail();
  CheckMovie(swf::ExpandMovie(file));
  return 0;
}
