// The slide-show movie, built through the movie library: one
// frame per slide with the slide picture as a button, the next and previous
// arrows as buttons and the counter such as 3/12 between them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/movie.h"

namespace quillet {

// The eleven library objects of one conversion, created in this order, and
// the calls made on them. The driver calls SetUpFrame, orders the slides,
// then calls BuildFrames and Write.
//
// Beyond the mouse, the movie answers a presenter's keys and talks to the
// page: next is Right, Down, PageDown, Space and Enter (as the right arrow:
// on the last slide it wraps to the first, as a click does); previous is
// Left, Up and PageUp (as the left arrow: the first slide stays); Home shows
// the first slide and End the last. Every frame tells the page its 1-based
// slide number through FSCommand("slide", N), and the first frame goes to the
// slide the page's parameter slide=N names, when it is one of the movie's.
// The first frame also registers showSlide(N) through ExternalInterface, so
// that the page can move a playing movie to slide N (see qzp.html).
//
// A slide's links are invisible buttons over its picture, above it and below
// the arrows: a web address opens in a new window (getURL with the target
// _blank), a jump goes to that slide as the arrows do (and so the page hears
// of it). A slide without links gets no link buttons.
struct LinkArea {
  float x = 0, y = 0, width = 0, height = 0;  // pixels of the frame, from its top-left corner
  std::string address;                        // an http, https or mailto address; empty for a jump
  int slide = 0;                              // a jump: the 1-based slide it shows
};

class SlideShowMovie {
 public:
  SlideShowMovie() = default;
  SlideShowMovie(const SlideShowMovie&) = delete;
  SlideShowMovie& operator=(const SlideShowMovie&) = delete;

  // A frame of 20*width x 20*height twips, white, 24 frames a second.
  void SetUpFrame(float width, float height);
  // A kiosk show: every `seconds` without a key or a click the movie goes
  // on to the next slide, from the last back to the first; 0 (the default)
  // never. Call before BuildFrames.
  void SetAdvance(int seconds) { advanceSeconds = seconds; }
  // One frame per picture path, in order; width and height in pixels.
  // links[i] holds the link areas of slide i + 1 (links may be shorter).
  void BuildFrames(float width, float height, const std::vector<std::string>& pictures,
                   const std::vector<std::vector<LinkArea>>& links = {});
  // Writes the movie to `path`.
  void Write(const std::string& path);
  // The movie's bytes, as Write would write them.
  std::vector<std::uint8_t> Bytes() const { return movie.Encode(); }
  // The movie as built so far, for reading its tags back.
  const swf::Movie& LibraryMovie() const { return movie; }

 private:
  swf::Movie movie;
  swf::Object picture;
  swf::Action stopAction;
  swf::Action playAction;
  swf::Object pictureButton;
  swf::Object counterText;
  swf::Object nextShape;
  swf::Object prevShape;
  swf::Object nextButton;
  swf::Object prevButton;
  swf::Action gotoAction;
  // Beyond the eleven objects above: the actions of the presenter's keys
  // (first and last slide) and of talking to the page (the slide number,
  // the start slide).
  swf::Action firstAction;
  swf::Action lastAction;
  swf::Action slideAction;
  swf::Action startAction;
  // The page's go-to (showSlide), and the link buttons with their actions.
  swf::Action callbackAction;
  swf::Object linkButton;
  swf::Action linkAction;
  swf::Action advanceAction;
  int advanceSeconds = 0;
};

}  // namespace quillet
