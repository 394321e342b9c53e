// The slide-show movie, built through the movie library: one
// frame per slide with the slide picture as a button, the next and previous
// arrows as buttons and the counter such as 3/12 between them.
#pragma once

#include <string>
#include <vector>

#include "swf/movie.h"

namespace quillet {

// The eleven library objects of one conversion, created in this order, and
// the calls made on them. The driver calls SetUpFrame, orders the slides,
// then calls BuildFrames and Write.
class SlideShowMovie {
 public:
  SlideShowMovie() = default;
  SlideShowMovie(const SlideShowMovie&) = delete;
  SlideShowMovie& operator=(const SlideShowMovie&) = delete;

  // A frame of 20*width x 20*height twips, white, 24 frames a second.
  void SetUpFrame(float width, float height);
  // One frame per picture path, in order; width and height in pixels.
  void BuildFrames(float width, float height, const std::vector<std::string>& pictures);
  // Writes the movie to `path`.
  void Write(const std::string& path);
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
};

}  // namespace quillet
