// The path and file helpers of the conversion: a path's base name, reading a whole
// text file, the existence test that guards the Convert
// command and the listing of the work folder's slide pictures. Whole-or-nothing writes come from
// platform/file_replace.h.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_replace.h"

namespace quillet {

// The file name between the last "/" and the last "." of `path`, without
// either: "talks/intro.ppt" gives "intro", "a.b.ppt" gives "a.b", ".ppt"
// gives "". A file name with no "." (or whose last "." lies in a folder name)
// gives the whole file name.
std::string GetBaseName(const std::string& path);

// A file name as UTF-8, for naming outputs and showing it in the page. A
// name that is valid UTF-8 is kept as it is; any other is read as
// Windows-1252 (Latin-1 with quotes and dashes in 0x80 to 0x9F), the usual
// encoding of names copied from older disks, so "r\xE9sum\xE9" becomes
// "résumé".
std::string NameAsUtf8(const std::string& name);

// The file's bytes as they are (UTF-8 text stays UTF-8), or "" when it cannot
// be read; `failed`, when given, tells the two empty cases apart. Never
// creates a file.
std::string ReadTextFile(const std::string& path, bool* failed = nullptr);

// The result of asking the file system about a path.
struct FileCheck {
  bool exists = false;
  int errorNumber = 0;      // errno of an unexpected failure, 0 otherwise
  std::string description;  // its text
};

// Whether `path` names an existing entry. A missing entry or folder is a
// quiet "no"; any other failure (permission, a loop of links, ...) is also
// "no" but carries its error number and text.
FileCheck CheckFile(const std::string& path);

// The message the window shows for an unexpected failure of CheckFile:
// "Error Number: 13", a line feed, a carriage return, a space and the text.
std::string FileErrorMessage(const FileCheck& check);

// The slide pictures a conversion writes into its work folder: the regular
// files named "Slide" + a number + ".jpg", in byte order of the name
// (Slide1.jpg, Slide10.jpg, Slide2.jpg, ...). Nothing else in the folder is
// Quillet's to read or delete. Throws quillet::Error when the folder cannot
// be listed.
std::vector<std::string> ListSlidePictures(const std::filesystem::path& folder);

// Whether `name` is such a picture's name.
bool IsSlidePictureName(std::string_view name);

}  // namespace quillet
