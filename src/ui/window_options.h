// The choices of the window's Options panel, one row of kWindowOptions each:
// its settings key, its name, what it means and its values, the first being
// the default. The panel builds a group of choices per row and the window
// remembers each under its key. Adding an option is a row here and, in
// Form1::cmdConvert_Click, the line that hands its value to the conversion.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace quillet::ui {

struct OptionValue {
  const char* stored;  // as remembered in the settings
  const char* label;   // as shown in the panel
};

struct WindowOption {
  const char* settingsKey;  // the QSettings key; the panel's controls are named KEY.VALUE
  const char* name;         // shown above the values, and the start of each value's accessible name
  const char* description;  // shown under the values; their accessible description
  std::span<const OptionValue> values;
};

// Where the page loads the Ruffle player from. The stored values are those of
// `quillet convert --player`.
inline constexpr const char* kPlayerKey = "player";
inline constexpr std::array kPlayerValues{OptionValue{"online", "online"}, OptionValue{"local", "beside the page"}};

// Whether the slides are drawn for full screen (quillet convert --size hd),
// which takes the place of the size chosen with the skin's three dots.
inline constexpr const char* kFullScreenKey = "fullscreen";
inline constexpr std::array kFullScreenValues{OptionValue{"no", "the chosen size"},
                                              OptionValue{"hd", "full HD (1920 x 1080)"}};
// Whether NAME.zip, a package for a learning platform (SCORM 1.2), is
// written too. Stored as "off" or "on"; `quillet convert --scorm` is "on".
inline constexpr const char* kPackageKey = "scorm";
inline constexpr std::array kPackageValues{OptionValue{"off", "no"}, OptionValue{"on", "yes, NAME.zip too"}};

// Whether the page's text of the slides holds the speaker notes, as
// `quillet convert --notes` does.
inline constexpr const char* kNotesKey = "notes";
inline constexpr std::array kNotesValues{OptionValue{"without", "without notes"}, OptionValue{"with", "with notes"}};

inline constexpr std::array kWindowOptions{
    WindowOption{kPlayerKey, "Player",
                 "Where the page loads the Ruffle player from: unpkg.com, or a copy in the output folder's ruffle "
                 "folder, which plays with no internet once the folder is served.",
                 kPlayerValues},
    WindowOption{kFullScreenKey, "Slide size",
                 "Full HD draws every slide to fill a 1920 x 1080 screen (a 4:3 slide at 1440 x 1080), sharp in "
                 "full screen, at a few times the weight of big.",
                 kFullScreenValues},
    WindowOption{kPackageKey, "Learning platform package",
                 "Also writes a SCORM 1.2 package (NAME.zip) to upload to a learning platform such as Moodle: it "
                 "reports the slide shown, resumes there and reports the deck completed once every slide was shown.",
                 kPackageValues},
    WindowOption{kNotesKey, "Speaker notes",
                 "Whether the page's text of the slides holds each slide's speaker notes. Notes are often private, "
                 "so they are left out unless chosen here.",
                 kNotesValues},
};
inline constexpr int kWindowOptionCount = static_cast<int>(kWindowOptions.size());

// The option with this key, or -1.
constexpr int FindOption(std::string_view settingsKey) {
  for (int index = 0; index < kWindowOptionCount; ++index)
    if (settingsKey == kWindowOptions[static_cast<std::size_t>(index)].settingsKey) return index;
  return -1;
}

// The index of the value stored as `stored`, or -1 for a value this version
// does not know.
constexpr int FindOptionValue(const WindowOption& option, std::string_view stored) {
  for (std::size_t index = 0; index < option.values.size(); ++index)
    if (stored == option.values[index].stored) return static_cast<int>(index);
  return -1;
}

}  // namespace quillet::ui
