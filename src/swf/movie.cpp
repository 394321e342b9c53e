// The movie library's calls: each checks its arguments against what the SWF
// file format can hold and records plain definitions and frame operations.
// Nothing is encoded until WriteMovie, which assembles the whole file in
// memory and then replaces the output file in one rename.
#include "swf/movie.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>

#include "platform/error.h"
#include "platform/file_replace.h"
#include "platform/utf8.h"
#include "swf/tag_writer.h"

namespace swf {
namespace {

// Coordinates must fit the widest signed bit field (31 bits) of RECT, MATRIX
// and MoveTo.
constexpr double kLargestCoordinate = (1 << 30) - 1;
constexpr std::int16_t kLargestColorComponent = 255;
constexpr std::int16_t kReleaseInsideEventCode = 6;
constexpr int kKeyPressEventBase = 256;
constexpr std::uint32_t kLargestDepth = 65535;
constexpr std::int32_t kLargestFrame = 65534;  // the frame count is a UI16

[[noreturn]] void Fail(const std::string& caller, const std::string& reason) {
  throw quillet::Error(quillet::kGeneral, caller + ": " + reason);
}

std::string Number(double value) {
  if (std::nearbyint(value) == value && std::fabs(value) < 1e15) return std::to_string(static_cast<long long>(value));
  return std::to_string(value);
}

std::int32_t ToTwips(const char* caller, const char* what, double value) {
  if (!std::isfinite(value) || std::fabs(std::nearbyint(value)) > kLargestCoordinate)
    Fail(caller, std::string(what) + " of " + Number(value) + " twips does not fit the SWF coordinate fields");
  return static_cast<std::int32_t>(std::nearbyint(value));
}

std::uint8_t ColorComponent(const char* caller, std::int16_t value) {
  if (value < 0 || value > kLargestColorComponent)
    Fail(caller, "colour component " + std::to_string(value) + " is outside 0 to 255");
  return static_cast<std::uint8_t>(value);
}

// Adding 255 or more saturates any channel as much as adding more does, so
// the add terms are clamped to what fits a CXFORM field without changing the
// result.
ColorTransform AddTransform(std::int16_t red, std::int16_t green, std::int16_t blue, std::int16_t alpha) {
  const auto clamp = [](std::int16_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int16_t>(value, -kLargestColorComponent, kLargestColorComponent));
  };
  ColorTransform transform;
  if (red != 0 || green != 0 || blue != 0 || alpha != 0)
    transform.add = std::array<std::int16_t, 4>{clamp(red), clamp(green), clamp(blue), clamp(alpha)};
  return transform;
}

// UTF-8 to code points; SWF code tables hold 16-bit codes.
std::u32string DecodeText(const std::string& text) {
  std::u32string decoded;
  for (std::size_t at = 0; at < text.size();) {
    const quillet::utf8::CodePoint point = quillet::utf8::Decode(text, at);
    if (!point.valid) Fail("MakeTextSimple", "the text \"" + text + "\" is not valid UTF-8");
    if (point.code > 0xFFFF) {
      Fail("MakeTextSimple", "the text \"" + text + "\" holds a character beyond U+FFFF, which SWF fonts cannot hold");
    }
    decoded.push_back(point.code);
    at += point.length;
  }
  return decoded;
}

std::uint64_t NextIdentity() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

bool HasDefinition(const ObjectDefinition& definition) { return !std::holds_alternative<std::monostate>(definition); }

// Writes the movie whole or not at all: on failure `path` is untouched.
void ReplaceMovieFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path.empty()) Fail("WriteMovie", "no output path was given");
  try {
    quillet::ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const quillet::FileWriteError& error) {
    Fail("WriteMovie", "cannot write the movie \"" + path + "\": " + error.Reason());
  }
}

// AVM1 programs are built from runs of records.
using Records = std::vector<ActionRecord>;

ActionRecord Simple(ActionCode code) { return ActionRecord::Simple(code); }

ActionRecord Push(std::vector<PushValue> values) {
  return ActionRecord{.code = ActionCode::kPush, .values = std::move(values)};
}

Records Join(std::initializer_list<Records> parts) {
  Records records;
  for (const Records& part : parts) records.insert(records.end(), part.begin(), part.end());
  return records;
}

}  // namespace

// ---- Action ---------------------------------------------------------------

void Action::MakeActionStop() { action_ = ActionProgram{{ActionRecord::Simple(ActionCode::kStop)}, 0}; }

void Action::MakeActionPlay() { action_ = ActionProgram{{ActionRecord::Simple(ActionCode::kPlay)}, 0}; }

void Action::MakeActionGotoFrame(std::int32_t frame) {
  if (frame < 0 || frame > kLargestFrame)
    Fail("MakeActionGotoFrame", "frame " + std::to_string(frame) + " is outside 0 to " + std::to_string(kLargestFrame));
  action_ = ActionProgram{{ActionRecord::GotoFrame(static_cast<std::uint16_t>(frame))},
                          static_cast<std::uint32_t>(frame) + 1};
}

void Action::MakeActionGetURL(const std::string& url, const std::string& target) {
  if (url.empty()) Fail("MakeActionGetURL", "the address is empty");
  if (url.find('\0') != std::string::npos || target.find('\0') != std::string::npos)
    Fail("MakeActionGetURL", "the address or target holds a NUL character");
  if (url.size() + target.size() + 2 > 0xFFFF) Fail("MakeActionGetURL", "the address and target are too long");
  action_ = ActionProgram{{ActionRecord{.code = ActionCode::kGetUrl, .url = url, .target = target}}, 0};
}

// Stack, in AVM1: the value is read, the variable cleared, the value made a
// number n; n is dropped unless it is whole (n == ToInteger(n), false for
// NaN) and neither below 1 nor above frameCount; GotoFrame2 takes 1-based
// frame numbers.
void Action::MakeActionGotoFrameOfVariable(const std::string& variable, std::int32_t frameCount) {
  if (variable.empty() || variable.find('\0') != std::string::npos || variable.size() > 0x7FFF)
    Fail("MakeActionGotoFrameOfVariable", "the variable name \"" + variable + "\" is not usable");
  if (frameCount < 1 || frameCount > kLargestFrame + 1)
    Fail("MakeActionGotoFrameOfVariable",
         "the frame count " + std::to_string(frameCount) + " is outside 1 to " + std::to_string(kLargestFrame + 1));
  // The bytes of `records`, which a branch or a function body holds: the
  // variable's name is in them three times.
  const auto length = [&variable](const Records& records) {
    const std::size_t bytes = ActionLength(records);
    if (bytes > 0x7FFF)
      Fail("MakeActionGotoFrameOfVariable",
           "the variable name of " + std::to_string(variable.size()) + " bytes is too long for the action's branches");
    return bytes;
  };
  // A Jump or If over the records `skipped`, which follow it.
  const auto branchOver = [&length](ActionCode code, const Records& skipped) {
    return ActionRecord{.code = code, .branchOffset = static_cast<std::int16_t>(length(skipped))};
  };
  // Properties of the timeline the action runs on (target ""), by index.
  constexpr std::int32_t kTotalFrames = 5;
  constexpr std::int32_t kVisible = 7;
  constexpr std::int32_t kFramesLoaded = 12;
  const auto getProperty = [&](std::int32_t index) {
    return Records{Push({"", index}), Simple(ActionCode::kGetProperty)};
  };
  const auto setProperty = [&](std::int32_t index, std::int32_t value) {
    return Records{Push({"", index, value}), Simple(ActionCode::kSetProperty)};
  };
  const ActionRecord goToN{.code = ActionCode::kGotoFrame2, .play = false};

  // Players load a movie's frames one after the other while it already
  // plays, and a go-to goes no further than the last frame loaded. So while
  // _framesloaded < _totalframes (false, too, in a player without them),
  // the timeline waits hidden rather than show the first frame: n goes back
  // into the variable, and an onEnterFrame handler makes the go-to once
  // every frame is loaded, shows the timeline again and removes itself.
  const Records loading = Join({getProperty(kFramesLoaded), getProperty(kTotalFrames), {Simple(ActionCode::kLess2)}});
  const Records whenLoaded = Join({{Push({"onEnterFrame", Undefined{}}), Simple(ActionCode::kSetVariable)},
                                   setProperty(kVisible, 1),
                                   {Push({variable}), Simple(ActionCode::kGetVariable), Push({variable, Undefined{}}),
                                    Simple(ActionCode::kSetVariable), goToN}});
  const Records handler = Join({loading, {branchOver(ActionCode::kIf, whenLoaded)}, whenLoaded});
  const Records pop = {Simple(ActionCode::kPop)};
  const Records wait =
      Join({{Push({variable}), Simple(ActionCode::kStackSwap), Simple(ActionCode::kSetVariable)},
            setProperty(kVisible, 0),
            {Push({"onEnterFrame"}), ActionRecord{.code = ActionCode::kDefineFunction,
                                                  .codeSize = static_cast<std::uint16_t>(length(handler))}},
            handler,
            {Simple(ActionCode::kSetVariable), branchOver(ActionCode::kJump, pop)}});
  const Records goNow = {goToN, branchOver(ActionCode::kJump, Join({wait, pop}))};
  const Records valid = Join({loading, {branchOver(ActionCode::kIf, goNow)}, goNow, wait});

  // n = Number(variable), and the variable is cleared, so that going back
  // to this frame later does not go to n again. Each check that fails
  // (not whole, below 1, above frameCount) skips to the Pop that drops n.
  const Records belowLast = Join({{Simple(ActionCode::kPushDuplicate), Push({frameCount}), Simple(ActionCode::kGreater),
                                   branchOver(ActionCode::kIf, valid)},
                                  valid});
  const Records fromFirst = Join({{Simple(ActionCode::kPushDuplicate), Push({std::int32_t{1}}),
                                   Simple(ActionCode::kLess2), branchOver(ActionCode::kIf, belowLast)},
                                  belowLast});
  const Records whole =
      Join({{Push({variable}), Simple(ActionCode::kGetVariable), Push({variable, Undefined{}}),
             Simple(ActionCode::kSetVariable), Simple(ActionCode::kToNumber), Simple(ActionCode::kPushDuplicate),
             Simple(ActionCode::kPushDuplicate), Simple(ActionCode::kToInteger), Simple(ActionCode::kEquals2),
             Simple(ActionCode::kNot), branchOver(ActionCode::kIf, fromFirst)},
            fromFirst});
  ActionProgram program;
  program.framesNeeded = static_cast<std::uint32_t>(frameCount);
  program.records = Join({whole, pop});
  action_ = std::move(program);
}

// The function's body, in AVM1: n = Number(n); each check that fails (not
// whole, below 1, above frameCount, frames still loading) branches to the
// end, which drops n and returns false; else GotoFrame2 takes n (1-based)
// and true is returned. The registration calls
// flash.external.ExternalInterface.addCallback(name, null, function).
void Action::MakeActionGotoFrameCallback(const std::string& name, std::int32_t frameCount) {
  if (name.empty() || name.find('\0') != std::string::npos || name.size() > 0x7FFF)
    Fail("MakeActionGotoFrameCallback", "the callback name \"" + name + "\" is not usable");
  if (frameCount < 1 || frameCount > kLargestFrame + 1)
    Fail("MakeActionGotoFrameCallback",
         "the frame count " + std::to_string(frameCount) + " is outside 1 to " + std::to_string(kLargestFrame + 1));
  const auto branchTo = [](std::size_t bytes) {
    return ActionRecord{.code = ActionCode::kIf, .branchOffset = static_cast<std::int16_t>(bytes)};
  };
  constexpr std::int32_t kTotalFrames = 5;
  constexpr std::int32_t kFramesLoaded = 12;
  const Records fail = {Simple(ActionCode::kPop), Push({Boolean{false}}), Simple(ActionCode::kReturn)};
  const Records go = {ActionRecord{.code = ActionCode::kGotoFrame2, .play = false}, Push({Boolean{true}}),
                      Simple(ActionCode::kReturn)};
  // The checks, last first: each skips what follows it up to `fail`.
  std::vector<Records> checks = {
      {Push({"n"}), Simple(ActionCode::kGetVariable), Simple(ActionCode::kToNumber), Simple(ActionCode::kPushDuplicate),
       Simple(ActionCode::kPushDuplicate), Simple(ActionCode::kToInteger), Simple(ActionCode::kEquals2),
       Simple(ActionCode::kNot)},
      {Simple(ActionCode::kPushDuplicate), Push({std::int32_t{1}}), Simple(ActionCode::kLess2)},
      {Simple(ActionCode::kPushDuplicate), Push({frameCount}), Simple(ActionCode::kGreater)},
      {Push({"", kFramesLoaded}), Simple(ActionCode::kGetProperty), Push({"", kTotalFrames}),
       Simple(ActionCode::kGetProperty), Simple(ActionCode::kLess2)},
  };
  Records body = go;
  for (auto check = checks.rbegin(); check != checks.rend(); ++check) {
    Records records = *check;
    records.push_back(branchTo(ActionLength(body)));
    records.insert(records.end(), body.begin(), body.end());
    body = std::move(records);
  }
  body.insert(body.end(), fail.begin(), fail.end());
  Records records = {ActionRecord{.code = ActionCode::kDefineFunction,
                                  .codeSize = static_cast<std::uint16_t>(ActionLength(body)),
                                  .parameters = {"n"}}};
  records.insert(records.end(), body.begin(), body.end());
  const Records call = {Push({Null{}, name, std::int32_t{3}, "flash"}),
                        Simple(ActionCode::kGetVariable),
                        Push({"external"}),
                        Simple(ActionCode::kGetMember),
                        Push({"ExternalInterface"}),
                        Simple(ActionCode::kGetMember),
                        Push({"addCallback"}),
                        Simple(ActionCode::kCallMethod),
                        Simple(ActionCode::kPop)};
  records.insert(records.end(), call.begin(), call.end());
  action_ = ActionProgram{std::move(records), static_cast<std::uint32_t>(frameCount)};
}

void Action::MakeActionAdvanceEvery(std::int32_t milliseconds) {
  constexpr std::int32_t kDay = 24 * 60 * 60 * 1000;
  constexpr std::int32_t kCheckEvery = 250;  // milliseconds
  if (milliseconds < 1 || milliseconds > kDay)
    Fail("MakeActionAdvanceEvery", "the wait of " + std::to_string(milliseconds) + " ms is outside 1 ms to a day");
  const auto branchOver = [](ActionCode code, const Records& skipped) {
    return ActionRecord{.code = code, .branchOffset = static_cast<std::int16_t>(ActionLength(skipped))};
  };
  // An anonymous function of `body`, left on the stack.
  const auto function = [&](const Records& body) {
    return Join({{ActionRecord{.code = ActionCode::kDefineFunction,
                               .codeSize = static_cast<std::uint16_t>(ActionLength(body))}},
                 body});
  };
  const std::string waitFrom = "quilletWaitFrom";
  const std::string started = "quilletAdvancing";
  // waitFrom = getTimer()
  const Records restart = {Push({waitFrom}), Simple(ActionCode::kGetTime), Simple(ActionCode::kSetVariable)};
  // if (!(getTimer() - waitFrom < milliseconds)) { restart; _root.play(); }
  const Records advance = Join({restart,
                                {Push({std::int32_t{0}, "_root"}), Simple(ActionCode::kGetVariable), Push({"play"}),
                                 Simple(ActionCode::kCallMethod), Simple(ActionCode::kPop)}});
  const Records tick = Join(
      {{Simple(ActionCode::kGetTime), Push({waitFrom}), Simple(ActionCode::kGetVariable), Simple(ActionCode::kSubtract),
        Push({milliseconds}), Simple(ActionCode::kLess2), branchOver(ActionCode::kIf, advance)},
       advance});
  const Records setUp =
      Join({{Push({started, std::int32_t{1}}), Simple(ActionCode::kSetVariable)},
            restart,
            {Push({"onMouseDown"})},
            function(restart),
            {Simple(ActionCode::kSetVariable), Push({"onKeyDown"})},
            function(restart),
            {Simple(ActionCode::kSetVariable), Push({"_root"}), Simple(ActionCode::kGetVariable),
             Push({std::int32_t{1}, "Key"}), Simple(ActionCode::kGetVariable), Push({"addListener"}),
             Simple(ActionCode::kCallMethod), Simple(ActionCode::kPop), Push({kCheckEvery})},
            function(tick),
            {Push({std::int32_t{2}, "setInterval"}), Simple(ActionCode::kCallFunction), Simple(ActionCode::kPop)}});
  if (ActionLength(setUp) > 0x7FFF) Fail("MakeActionAdvanceEvery", "the timer's actions are too long");
  ActionProgram program;
  program.records =
      Join({{Push({started}), Simple(ActionCode::kGetVariable), branchOver(ActionCode::kIf, setUp)}, setUp});
  action_ = std::move(program);
}

ActionProgram Action::Program(const char* caller) const {
  if (!action_)
    Fail(caller, "the action has not been made (call MakeActionStop, MakeActionPlay or MakeActionGotoFrame first)");
  return *action_;
}

// ---- Object ---------------------------------------------------------------

Object::Object() : identity_(NextIdentity()) {}

void Object::MakePolygon(float x, float y) {
  PolygonDefinition polygon;
  polygon.start = {ToTwips("MakePolygon", "x", x), ToTwips("MakePolygon", "y", y)};
  polygon.fill = Rgba{0, 0, 0, 255};
  definition_ = polygon;
}

void Object::AddStraightLine(std::int16_t dx, std::int16_t dy) {
  auto* polygon = std::get_if<PolygonDefinition>(&definition_);
  if (polygon == nullptr) Fail("AddStraightLine", "the object is not a polygon (call MakePolygon first)");
  polygon->deltas.push_back({dx, dy});
}

void Object::SetSolidFill(std::int16_t r, std::int16_t g, std::int16_t b, std::int16_t a) {
  const Rgba color{ColorComponent("SetSolidFill", r), ColorComponent("SetSolidFill", g),
                   ColorComponent("SetSolidFill", b), ColorComponent("SetSolidFill", a)};
  if (auto* polygon = std::get_if<PolygonDefinition>(&definition_)) {
    polygon->fill = color;
    return;
  }
  if (auto* text = std::get_if<TextDefinition>(&definition_)) {
    text->color = color;
    return;
  }
  Fail("SetSolidFill", "only a polygon or a text has a fill (call MakePolygon or MakeTextSimple first)");
}

void Object::SetDepth(std::int16_t depth) { depthHint_ = depth; }

void Object::MakeButtonSimple(Object& shape, std::int16_t r1, std::int16_t g1, std::int16_t b1, std::int16_t a1,
                              std::int16_t r2, std::int16_t g2, std::int16_t b2, std::int16_t a2) {
  ButtonDefinition button;
  if (const auto* polygon = std::get_if<PolygonDefinition>(&shape.definition_)) {
    button.face = *polygon;
  } else if (const auto* text = std::get_if<TextDefinition>(&shape.definition_)) {
    button.face = *text;
  } else if (const auto* picture = std::get_if<PictureDefinition>(&shape.definition_)) {
    button.face = *picture;
  } else if (std::holds_alternative<ButtonDefinition>(shape.definition_)) {
    Fail("MakeButtonSimple", "a button cannot show another button");
  } else {
    Fail("MakeButtonSimple",
         "the shape object has nothing made (call MakePolygon, MakeTextSimple or MakePicture on it first)");
  }
  button.over = AddTransform(r1, g1, b1, a1);
  button.down = AddTransform(r2, g2, b2, a2);
  definition_ = std::move(button);
}

void Object::MakeButtonArea(float x, float y, float width, float height) {
  const std::int32_t left = ToTwips("MakeButtonArea", "x", x);
  const std::int32_t top = ToTwips("MakeButtonArea", "y", y);
  const std::int32_t wide = ToTwips("MakeButtonArea", "the width", width);
  const std::int32_t high = ToTwips("MakeButtonArea", "the height", height);
  if (wide <= 0 || high <= 0)
    Fail("MakeButtonArea", "the area of " + Number(width) + " x " + Number(height) + " twips is not positive");
  PolygonDefinition area;
  area.start = {left, top};
  area.deltas = {{wide, 0}, {0, high}, {-wide, 0}};
  area.fill = Rgba{0, 0, 0, 255};
  ButtonDefinition button;
  button.face = area;
  button.hitAreaOnly = true;
  definition_ = std::move(button);
}

void Object::MakeTextSimple(const std::string& font, const std::string& text, float x, float y, std::int16_t size) {
  if (size <= 0) Fail("MakeTextSimple", "the text size " + std::to_string(size) + " is not positive");
  TextDefinition definition;
  definition.text = DecodeText(text);
  definition.position = {ToTwips("MakeTextSimple", "x", x), ToTwips("MakeTextSimple", "y", y)};
  definition.size = static_cast<std::uint16_t>(size);
  definition.color = Rgba{0, 0, 0, 255};
  try {
    definition.face = FindFontFace(font);
    FontOutlines check(definition.face, 1024);  // the face must open and hold outlines
  } catch (const quillet::Error& error) {
    Fail("MakeTextSimple", error.what());
  }
  definition_ = std::move(definition);
}

void Object::MakePicture(std::int16_t x, std::int16_t y, float width, float height, float pixelWidth, float pixelHeight,
                         const std::string& path) {
  PictureDefinition picture;
  picture.origin = {x, y};
  picture.width = ToTwips("MakePicture", "the width", width);
  picture.height = ToTwips("MakePicture", "the height", height);
  if (picture.width <= 0 || picture.height <= 0)
    Fail("MakePicture", "the picture size " + Number(width) + " x " + Number(height) + " twips is not positive");
  if (!std::isfinite(pixelWidth) || !std::isfinite(pixelHeight) || pixelWidth < 1 || pixelHeight < 1)
    Fail("MakePicture",
         "the pixel size " + Number(pixelWidth) + " x " + Number(pixelHeight) + " is not at least 1 x 1");
  const double scaleX = std::nearbyint(static_cast<double>(picture.width) / pixelWidth * Matrix::kOne);
  const double scaleY = std::nearbyint(static_cast<double>(picture.height) / pixelHeight * Matrix::kOne);
  if (scaleX > kLargestCoordinate || scaleY > kLargestCoordinate || scaleX < 1 || scaleY < 1)
    Fail("MakePicture", "the scale of " + Number(width) + " x " + Number(height) + " twips over " + Number(pixelWidth) +
                            " x " + Number(pixelHeight) + " pixels does not fit an SWF matrix");
  if (std::int64_t{x} + picture.width > kLargestCoordinate || std::int64_t{y} + picture.height > kLargestCoordinate)
    Fail("MakePicture", "the picture's far corner does not fit the SWF coordinate fields");
  picture.scaleX = static_cast<std::int32_t>(scaleX);
  picture.scaleY = static_cast<std::int32_t>(scaleY);
  try {
    picture.picture = std::make_shared<const JpegPicture>(ReadBaselineJpeg(path));
  } catch (const quillet::Error& error) {
    Fail("MakePicture", error.what());
  }
  definition_ = std::move(picture);
}

void Object::QueueEvent(Action& action, std::int16_t eventCode) {
  auto* button = std::get_if<ButtonDefinition>(&definition_);
  if (button == nullptr) Fail("QueueEvent", "the object is not a button (call MakeButtonSimple first)");
  std::uint16_t condition = kOverDownToOverUp;
  if (eventCode != kReleaseInsideEventCode) {
    const int key = eventCode - kKeyPressEventBase;
    // The key codes the SWF file format defines: the special keys and the
    // printable ASCII characters.
    const bool defined = (key >= 1 && key <= 6) || key == 8 || (key >= 13 && key <= 19) || (key >= 32 && key <= 126);
    if (!defined)
      Fail("QueueEvent", "event code " + std::to_string(eventCode) +
                             " is not supported (6: released inside; 256 plus an SWF key code: a key press)");
    condition = static_cast<std::uint16_t>(key << 9);
  }
  button->events.push_back({condition, action.Program("QueueEvent")});
}

// ---- Movie ----------------------------------------------------------------

void Movie::SetSize(float width, float height) {
  const std::int32_t twipsWide = ToTwips("SetSize", "the width", width);
  const std::int32_t twipsHigh = ToTwips("SetSize", "the height", height);
  if (twipsWide <= 0 || twipsHigh <= 0)
    Fail("SetSize", "the frame size " + Number(width) + " x " + Number(height) + " twips is not positive");
  settings_.frameSize = Rect{0, twipsWide, 0, twipsHigh};
}

void Movie::SetFrameBkColor(std::int16_t r, std::int16_t g, std::int16_t b) {
  settings_.background = Rgba{ColorComponent("SetFrameBkColor", r), ColorComponent("SetFrameBkColor", g),
                              ColorComponent("SetFrameBkColor", b), 255};
}

void Movie::SetFrameRate(std::int16_t rate) {
  if (rate < 1 || rate > 255)
    Fail("SetFrameRate", "the rate " + std::to_string(rate) + " is outside 1 to 255 frames per second");
  settings_.frameRate = static_cast<std::uint16_t>(rate << 8);
}

void Movie::GotoFrame(std::int16_t frame) {
  if (frame < 0) Fail("GotoFrame", "frame " + std::to_string(frame) + " is below 0");
  currentFrame_ = frame;
  if (frames_.size() <= static_cast<std::size_t>(frame)) frames_.resize(static_cast<std::size_t>(frame) + 1);
}

void Movie::AddAction(Action& action) {
  frames_[static_cast<std::size_t>(currentFrame_)].push_back(ActionOperation{action.Program("AddAction")});
}

void Movie::AddObject(Object& object) {
  if (!HasDefinition(object.Definition()))
    Fail("AddObject",
         "the object has nothing made (call MakePolygon, MakeTextSimple, MakePicture or MakeButtonSimple first)");
  if (lastDepth_ >= kLargestDepth) Fail("AddObject", "the movie has used all 65535 depths");
  const auto depth = static_cast<std::uint16_t>(++lastDepth_);
  frames_[static_cast<std::size_t>(currentFrame_)].push_back(PlaceOperation{object.Definition(), depth});
  placements_.push_back({object.Identity(), depth, currentFrame_});
}

void Movie::RemoveObject(Object& object) {
  for (auto placement = placements_.rbegin(); placement != placements_.rend(); ++placement) {
    if (placement->object != object.Identity() || placement->frame > currentFrame_) continue;
    frames_[static_cast<std::size_t>(currentFrame_)].push_back(RemoveOperation{placement->depth});
    placements_.erase(std::next(placement).base());
    return;
  }
  Fail("RemoveObject", "the object is not in the movie at frame " + std::to_string(currentFrame_) +
                           " (it was never added, or was removed already)");
}

MovieFile Movie::Assemble() const {
  if (settings_.frameSize.xMax <= 0) Fail("WriteMovie", "the frame size was never set (call SetSize first)");
  try {
    return AssembleMovie(settings_, frames_);
  } catch (const quillet::Error& error) {
    Fail("WriteMovie", error.what());
  }
}

std::vector<std::uint8_t> Movie::Encode() const {
  const MovieFile movie = Assemble();
  try {
    return CompressMovie(EncodeMovie(movie));
  } catch (const quillet::Error& error) {
    Fail("WriteMovie", error.what());
  }
}

void Movie::WriteMovie(const std::string& path) { ReplaceMovieFile(path, Encode()); }

}  // namespace swf
