// Form1, Quillet's main window: a frameless 444 x 260 skin with two path
// fields, three size choices, the Convert, Open, Save to and Options buttons,
// the about, minimise and close buttons, a drag strip and the progress
// display.
// It keeps the job state, checks the deck before a conversion and runs the
// conversion on a worker thread, so it stays responsive throughout; while a
// conversion runs, Convert, Open, Save to, the size choice and dropped files
// are ignored and Close cancels the conversion, waits for it to end and then
// closes. It remembers the output folder, the size and the choices of the
// Options panel between runs.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <string_view>

#include "conversion/convert_presentation.h"
#include "ui/conversion_runner.h"
#include "ui/dialogs.h"
#include "ui/form_about.h"
#include "ui/form_layout.h"
#include "ui/form_options.h"
#include "ui/progress_display.h"
#include "ui/window_options.h"

class QLabel;
class QLineEdit;
class QSettings;

namespace quillet::ui {

class HotArea;
class SkinPicture;
class SkinSurface;

inline constexpr const char* kProgramTitle = "Quillet";
inline constexpr const char* kSelectDeckMessage = "Please select the PowerPoint file.";
inline constexpr const char* kCompleteMessage = "Conversion complete.";
inline constexpr const char* kFolderPickerTitle = "Select a Folder";
inline constexpr const char* kCancellingCaption = "Cancelling...";

// What the window keeps between runs (QSettings keys, ~/.config/quillet/),
// besides the options of the Options panel, each under its own key
// (window_options.h).
inline constexpr const char* kOutputFolderKey = "outputFolder";
inline constexpr const char* kSizeKey = "size";  // small, medium or big

struct Form1Services {
  Dialogs& dialogs;
  ConversionFunction convert;
  QString programFolder;  // holds qzp.html (or ../share/quillet/ does) and, unless installed, temp/
  // Where the choices are remembered; nothing is when null.
  QSettings* settings = nullptr;
};

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(Form1Services services, QWidget* parent = nullptr);
  ~Form1() override;

  JobState& Job() { return job_; }
  bool IsConverting() const;
  FormAbout* AboutWindow() const { return about_; }
  FormOptions* OptionsWindow() const { return options_; }

  // The commands, as the hot areas call them.
  void cmdOpen_Click();
  void cmdSave_Click();
  void cmdConvert_Click();
  void lblSize_Click(int sizeIndex);
  void ShowAbout();
  void ShowOptions();
  // A deck handed over by the desktop (`quillet DECK`, a drop): chosen as
  // Open chooses it when it is a file Quillet reads; anything else gets the
  // usual "Please select..." message and changes nothing. False when refused
  // or ignored (during a conversion).
  bool ChooseDeck(const QString& path);

 signals:
  // The conversion has ended, however it ended, and the window is idle again.
  void ConversionFinished(quillet::ui::ConversionEnding ending);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildSkin();
  void BuildHotAreas();
  void Stack();
  void ConnectRunner();
  void RunHotArea(const HotAreaEntry& entry);
  void StartDrag(QPoint globalPosition);
  void HideAllHoverPictures();
  void ShowProgress(int percent);
  void ShowCompletion();
  void FinishConversion();
  void KeepDesignSize();
  void RestoreSettings();
  void Remember(const char* key, const QString& value);
  void ChooseOption(int option, int value);
  // The stored form of the value chosen for the option with this key.
  std::string_view ChosenValue(std::string_view settingsKey) const;

  Dialogs& dialogs_;
  QString programFolder_;
  QSettings* settings_ = nullptr;
  JobState job_;
  ConversionRunner* runner_ = nullptr;

  SkinSurface* picSkin_ = nullptr;
  QLineEdit* txtPPT_ = nullptr;
  QLineEdit* txtSwf_ = nullptr;
  SkinPicture* imgSizeDot_ = nullptr;
  SkinPicture* picProgress_ = nullptr;
  QLabel* LabelProgress_ = nullptr;
  std::array<SkinPicture*, kHoverPictureCount> hoverPictures_{};
  std::unique_ptr<ProgressDisplay> progress_;
  QPointer<FormAbout> about_;
  QPointer<FormOptions> options_;
  OptionChoices chosenOptions_{};  // each option's first value until the settings say otherwise

  bool centred_ = false;
  bool closeRequested_ = false;
  bool manualDrag_ = false;
  QPoint dragStart_;
  QPoint dragOrigin_;
};

}  // namespace quillet::ui
