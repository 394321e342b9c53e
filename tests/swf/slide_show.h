// Drives the movie library with the slide-show assembly's exact call
// sequence: eleven objects created in a fixed order, the frame set up, then
// per slide two arrows, two buttons, a go-to action, the counter, the
// picture and its button, their events, and the frame's display list.
// Shared by the library's tests and the browser test's movie writer.
#pragma once

#include <string>
#include <vector>

#include "swf/movie.h"

namespace swf_test {

// W x H pixels per frame; one slide per picture file.
inline void BuildSlideShow(swf::Movie& movie, float W, float H, const std::vector<std::string>& pictures) {
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

  movie.SetSize(20 * W, 20 * H);
  movie.SetFrameBkColor(255, 255, 255);
  movie.SetFrameRate(24);

  stopAction.MakeActionStop();
  playAction.MakeActionPlay();

  const auto C = static_cast<std::int16_t>(pictures.size());
  for (std::int16_t a = 0; a < C; ++a) {
    nextShape.MakePolygon(20 * W - 500, 20 * H - 550);
    nextShape.AddStraightLine(250, 125);
    nextShape.AddStraightLine(-250, 125);
    nextShape.AddStraightLine(0, -250);
    nextShape.SetSolidFill(0, 96, 128, 255);
    nextShape.SetDepth(1);

    prevShape.MakePolygon(20 * W - 1800, 20 * H - 550);
    prevShape.AddStraightLine(0, 250);
    prevShape.AddStraightLine(-250, -125);
    prevShape.AddStraightLine(250, -125);
    prevShape.SetSolidFill(0, 96, 128, 255);
    prevShape.SetDepth(1);

    nextButton.MakeButtonSimple(nextShape, 128, 0, 0, 0, 128, -128, 0, 0);
    nextButton.SetDepth(1);
    prevButton.MakeButtonSimple(prevShape, 128, 0, 0, 0, 128, -128, 0, 0);
    prevButton.SetDepth(1);

    gotoAction.MakeActionGotoFrame(a == 0 ? 0 : a - 1);

    const std::string text = std::to_string(a + 1) + "/" + std::to_string(C);
    counterText.MakeTextSimple("Arial", text, 20 * W - 1500, 20 * H - 500, 400);
    counterText.SetSolidFill(0, 96, 128, 255);
    counterText.SetDepth(1);

    picture.MakePicture(0, 0, 20 * W, 20 * H, W, H, pictures[static_cast<std::size_t>(a)]);
    pictureButton.MakeButtonSimple(picture, 0, 0, 0, 0, 0, 0, 0, 0);
    pictureButton.SetDepth(1);

    pictureButton.QueueEvent(playAction, 6);
    nextButton.QueueEvent(playAction, 6);
    prevButton.QueueEvent(gotoAction, 6);

    movie.GotoFrame(a);
    movie.AddAction(stopAction);

    if (a > 0) {
      movie.RemoveObject(pictureButton);
      movie.RemoveObject(counterText);
      movie.RemoveObject(nextButton);
      movie.RemoveObject(prevButton);
    }
    movie.AddObject(pictureButton);
    movie.AddObject(counterText);
    movie.AddObject(nextButton);
    movie.AddObject(prevButton);
  }
}

}  // namespace swf_test
