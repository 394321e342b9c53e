// The main window: building the skin from the layout tables, the commands,
// the hover rule, the resize rule and the conversion's life on the window.
#include "ui/form1.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <QWindow>

#include <filesystem>

#include "conversion/file_helpers.h"
#include "platform/program_folder.h"
#include "platform/slide_exporter.h"
#include "ui/art.h"
#include "ui/form_about.h"
#include "ui/skin_widgets.h"

namespace quillet::ui {

namespace {

// Whether the stored deck names an existing file. An unexpected failure of
// the check (not a plain "missing") is shown first, captioned "Error", with OK
// and Cancel (either button only closes the box).
bool PresentationExists(Dialogs& dialogs, QWidget* owner, const std::string& path) {
  const FileCheck check = CheckFile(path);
  if (check.errorNumber != 0) {
    dialogs.ShowMessage(owner, QString::fromStdString(FileErrorMessage(check)), QStringLiteral("Error"),
                        MessageKind::Failure, MessageButtons::OkCancel);
  }
  return check.exists;
}

// The failure box: what went wrong, then what to do about it.
QString FailureText(const ConversionResult& result) {
  QString what = QStringLiteral("The conversion failed: %1").arg(result.failure);
  switch (result.cause) {
    case FailureCause::kDeckUnreadable:
      return what + QStringLiteral(
                        "\n\nLibreOffice cannot read this presentation. Open it in the program that made it, save "
                        "it again as .pptx, and convert that copy.");
    case FailureCause::kPasswordProtected: return what;  // the message says what to do
    case FailureCause::kOutputFolder:
      return what + QStringLiteral(
                        "\n\nThe output folder cannot be written. Choose another with Save to, then "
                        "press Convert again.");
    case FailureCause::kLibreOfficeMissing:
      return what + QStringLiteral(
                        "\n\nConverting needs LibreOffice Impress. Install the package %1, then press "
                        "Convert again.")
                        .arg(QString::fromUtf8(kLibreOfficePackage));
    case FailureCause::kOther: break;
  }
  return what + QStringLiteral("\n\nCheck the presentation and the output folder, then press Convert again.");
}

constexpr QColor kFieldTextColour{64, 64, 64};
constexpr QColor kProgressCaptionColour{128, 128, 128};
constexpr QColor kPlaceholderColour{150, 156, 172};
constexpr double kProgressCaptionPoints = 8.25;

// The remembered size by choice index, left to right.
constexpr std::array kSizeNames{"small", "medium", "big"};

std::filesystem::path ToPath(const QString& text) { return std::filesystem::path(text.toStdString()); }

// picSkin's children, top first.
constexpr std::array kStackingOrder{
    "picProgress", "txtPPT",        "txtSwf",       "lblSize2",         "lblSize1",   "lblSize0",
    "imgSizeDot",  "LabelProgress", "LabelAbout",   "Image3",           "LabelClose", "LabelMin",
    "Image2",      "Image1",        "LabelOptions", "ImageOptionsOver", "LabelSave",  "ImageSaveasOver",
    "LabelOpen",   "ImageOpenOver", "LabelConvert", "imgConvertOver",   "LabelMove"};

QLineEdit* MakePathField(const char* name, const TwipRect& area, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromUtf8(name));
  field->setFrame(false);
  field->setGeometry(ToPixels(area));
  field->setTextMargins(0, 0, 0, 0);
  field->setAttribute(Qt::WA_NoMousePropagation);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Text, kFieldTextColour);
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::PlaceholderText, kPlaceholderColour);
  field->setPalette(palette);
  return field;
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      dialogs_(services.dialogs),
      programFolder_(QDir::toNativeSeparators(services.programFolder)),
      settings_(services.settings),
      runner_(new ConversionRunner(std::move(services.convert), this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  setWindowIcon(WindowIconArt());
  resize(ToPixels(kFormArea).size());

  BuildSkin();
  BuildHotAreas();
  Stack();
  ConnectRunner();

  // Start-up: the program folder is the default output folder where the user
  // may write into it, medium size; then what the last run remembered.
  txtSwf_->setText(QDir::toNativeSeparators(
      QString::fromStdString(DefaultOutputFolder(ToPath(QDir::fromNativeSeparators(programFolder_))).string())));
  txtPPT_->setPlaceholderText(QStringLiteral("Choose a presentation with Open, or drop it here"));
  job_.m_SizeDivisor = SizeDivisorFor(1);
  RestoreSettings();
  // Files dropped anywhere on the window come here, not into the fields.
  setAcceptDrops(true);
  txtPPT_->setAcceptDrops(false);
  txtSwf_->setAcceptDrops(false);
}

Form1::~Form1() = default;

bool Form1::IsConverting() const { return runner_->IsRunning(); }

// A remembered folder that has since vanished keeps the default.
void Form1::RestoreSettings() {
  if (!settings_) return;
  const QString folder = settings_->value(QString::fromUtf8(kOutputFolderKey)).toString();
  if (!folder.isEmpty() && QFileInfo(QDir::fromNativeSeparators(folder)).isDir()) txtSwf_->setText(folder);
  // A value this version does not know keeps the option's default.
  for (std::size_t option = 0; option < kWindowOptions.size(); ++option) {
    const WindowOption& entry = kWindowOptions[option];
    const int value =
        FindOptionValue(entry, settings_->value(QString::fromUtf8(entry.settingsKey)).toString().toStdString());
    if (value >= 0) chosenOptions_[option] = value;
  }
  const QString size = settings_->value(QString::fromUtf8(kSizeKey)).toString();
  for (int index = 0; index < kSizeChoiceCount; ++index) {
    if (size == QString::fromUtf8(kSizeNames[static_cast<std::size_t>(index)])) {
      lblSize_Click(index);
    }
  }
}

void Form1::Remember(const char* key, const QString& value) {
  if (!settings_) return;
  settings_->setValue(QString::fromUtf8(key), value);
  settings_->sync();
}

void Form1::ChooseOption(int option, int value) {
  if (option < 0 || option >= kWindowOptionCount) return;
  const WindowOption& entry = kWindowOptions[static_cast<std::size_t>(option)];
  if (value < 0 || static_cast<std::size_t>(value) >= entry.values.size()) return;
  chosenOptions_[static_cast<std::size_t>(option)] = value;
  Remember(entry.settingsKey, QString::fromUtf8(entry.values[static_cast<std::size_t>(value)].stored));
}

std::string_view Form1::ChosenValue(std::string_view settingsKey) const {
  const int option = FindOption(settingsKey);
  Q_ASSERT_X(option >= 0, "Form1::ChosenValue", "no such option");
  if (option < 0) return {};
  const WindowOption& entry = kWindowOptions[static_cast<std::size_t>(option)];
  return entry.values[static_cast<std::size_t>(chosenOptions_[static_cast<std::size_t>(option)])].stored;
}

void Form1::BuildSkin() {
  const qreal ratio = devicePixelRatioF();
  const QPixmap skin = SkinArt(ratio);
  // The window's top row, above the skin, continues the title strip.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, skin.toImage().pixelColor(0, 0));
  setPalette(palette);
  setAutoFillBackground(true);

  picSkin_ = new SkinSurface(skin, this);
  picSkin_->setObjectName(QStringLiteral("picSkin"));
  picSkin_->setGeometry(ToPixels(kSkinArea));
  picSkin_->setFocusPolicy(Qt::ClickFocus);
  connect(picSkin_, &SkinSurface::BareSkinHovered, this, &Form1::HideAllHoverPictures);

  txtPPT_ = MakePathField("txtPPT", kTxtPPTArea, picSkin_);
  txtSwf_ = MakePathField("txtSwf", kTxtSwfArea, picSkin_);

  imgSizeDot_ = new SkinPicture(SizeDotArt(ratio), picSkin_);
  imgSizeDot_->setObjectName(QStringLiteral("imgSizeDot"));
  imgSizeDot_->setGeometry(ToPixels(kSizeDotArea));

  picProgress_ = new SkinPicture(ProgressFillArt(ratio), picSkin_);
  picProgress_->setObjectName(QStringLiteral("picProgress"));
  picProgress_->setGeometry(ToPixels(kProgressArea));

  LabelProgress_ = new QLabel(picSkin_);
  LabelProgress_->setObjectName(QStringLiteral("LabelProgress"));
  LabelProgress_->setAttribute(Qt::WA_NoMousePropagation);
  LabelProgress_->setAttribute(Qt::WA_TranslucentBackground);
  LabelProgress_->move(ToPixels(kLabelProgressArea).topLeft());
  QPalette captionPalette = LabelProgress_->palette();
  captionPalette.setColor(QPalette::WindowText, kProgressCaptionColour);
  LabelProgress_->setPalette(captionPalette);
  QFont captionFont = LabelProgress_->font();
  captionFont.setPointSizeF(kProgressCaptionPoints);
  LabelProgress_->setFont(captionFont);
  progress_ = std::make_unique<ProgressDisplay>(*picProgress_, *LabelProgress_);

  for (const HoverPictureEntry& entry : kHoverPictures) {
    const QRect area = ToPixels(entry.area);
    auto* picture = new SkinPicture(HoverArt(area, ratio), picSkin_);
    picture->setObjectName(QString::fromUtf8(entry.objectName));
    picture->setGeometry(area);
    picture->hide();
    hoverPictures_[static_cast<std::size_t>(entry.picture)] = picture;
  }
}

void Form1::BuildHotAreas() {
  const QCursor hand = PointingHandCursor();
  for (const HotAreaEntry& entry : kHotAreas) {
    auto* area = new HotArea(picSkin_);
    area->setObjectName(QString::fromUtf8(entry.objectName));
    area->setGeometry(ToPixels(entry.area));
    if (entry.pointer == Pointer::PointingHand) area->setCursor(hand);
    if (entry.hasHoverPicture) {
      SkinPicture* lit = hoverPictures_[static_cast<std::size_t>(entry.hover)];
      connect(area, &HotArea::Hovered, lit, &QWidget::show);
      connect(area, &HotArea::FocusChanged, lit, &QWidget::setVisible);
    }
    if (entry.action == HotAction::ShowOptions) {
      // Options follows the two path fields in the Tab order, lit while it
      // has the keyboard; Space or Enter opens the panel.
      area->setFocusPolicy(Qt::TabFocus);
      area->setAccessibleName(QStringLiteral("Options"));
      area->setAccessibleDescription(QStringLiteral("Opens the panel of the conversion's options"));
    }
    if (entry.action == HotAction::Drag) {
      connect(area, &HotArea::Pressed, this,
              [this](Qt::MouseButton, QPoint globalPosition) { StartDrag(globalPosition); });
      connect(area, &HotArea::DraggedTo, this, [this](QPoint globalPosition) {
        if (manualDrag_) move(dragOrigin_ + globalPosition - dragStart_);
      });
      connect(area, &HotArea::Released, this, [this] { manualDrag_ = false; });
      continue;
    }
    connect(area, &HotArea::Clicked, this, [this, &entry] { RunHotArea(entry); });
  }
}

// Raise from the bottom up, so the first of the list ends on top.
void Form1::Stack() {
  for (std::size_t index = kStackingOrder.size(); index-- > 0;) {
    const char* name = kStackingOrder[index];
    QWidget* child = picSkin_->findChild<QWidget*>(QString::fromUtf8(name));
    Q_ASSERT_X(child, "Form1::Stack", name);
    child->raise();
  }
}

void Form1::ConnectRunner() {
  connect(runner_, &ConversionRunner::ProgressShown, this, &Form1::ShowProgress);
  connect(runner_, &ConversionRunner::StatusShown, this, [this](const QString& text) { progress_->ShowStatus(text); });
  connect(runner_, &ConversionRunner::ProgressCleared, this, [this] { progress_->Clear(); });
  connect(runner_, &ConversionRunner::CompletionReached, this, &Form1::ShowCompletion);
  connect(runner_, &ConversionRunner::WarningRaised, this, [this](const QString& text) {
    dialogs_.ShowMessage(this, text, QString::fromUtf8(kProgramTitle), MessageKind::Warning);
  });
  connect(runner_, &ConversionRunner::PageWritten, this, [this](const QString& page) {
    // No browser took the page: say where it is, so nothing is lost.
    dialogs_.OpenPage(this, page, [this, page] {
      dialogs_.ShowMessage(this,
                           QStringLiteral("The slide show is ready, but no browser could be started to show it. "
                                          "Open this page in a web browser:\n%1")
                               .arg(QDir::toNativeSeparators(page)),
                           QString::fromUtf8(kProgramTitle), MessageKind::Information);
    });
  });
  connect(runner_, &ConversionRunner::Finished, this, &Form1::FinishConversion);
}

void Form1::RunHotArea(const HotAreaEntry& entry) {
  switch (entry.action) {
    case HotAction::ShowAbout: ShowAbout(); return;
    case HotAction::ShowOptions: ShowOptions(); return;
    case HotAction::Minimise: showMinimized(); return;
    case HotAction::Close: close(); return;
    case HotAction::Open: cmdOpen_Click(); return;
    case HotAction::SaveTo: cmdSave_Click(); return;
    case HotAction::Convert: cmdConvert_Click(); return;
    case HotAction::Drag: return;  // a press, not a click, moves the window
    case HotAction::ChooseSize: lblSize_Click(entry.sizeIndex); return;
  }
}

// The window system's own move loop where it offers one; otherwise the strip
// follows the pointer itself (a bare X server has no window manager to ask).
void Form1::StartDrag(QPoint globalPosition) {
  dragStart_ = globalPosition;
  dragOrigin_ = pos();
  manualDrag_ = false;
  QWindow* window = windowHandle();
  if (window && window->startSystemMove()) return;
  manualDrag_ = true;
}

// Hover rule: movement over the bare skin puts out every lit button.
void Form1::HideAllHoverPictures() {
  for (SkinPicture* picture : hoverPictures_) picture->hide();
}

// A pointer that leaves the window from a lit button never crosses the bare
// skin; the button goes out all the same.
void Form1::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  HideAllHoverPictures();
}

void Form1::cmdOpen_Click() {
  if (IsConverting()) return;
  const QString chosen = dialogs_.ChooseOpenFile(this);
  if (chosen.isEmpty()) return;
  txtPPT_->setText(chosen);
  job_.m_PptPath = chosen.toStdString();
}

void Form1::cmdSave_Click() {
  if (IsConverting()) return;
  const QString folder = BrowseForFolder(dialogs_, this, QString::fromUtf8(kFolderPickerTitle));
  if (folder.isEmpty()) return;
  txtSwf_->setText(QDir::toNativeSeparators(folder));
  Remember(kOutputFolderKey, txtSwf_->text());
}

void Form1::lblSize_Click(int sizeIndex) {
  if (IsConverting()) return;
  if (sizeIndex < 0 || sizeIndex >= kSizeChoiceCount) return;
  const QWidget* choice = picSkin_->findChild<QWidget*>(QStringLiteral("lblSize%1").arg(sizeIndex));
  imgSizeDot_->move(choice->x(), imgSizeDot_->y());
  job_.m_SizeDivisor = SizeDivisorFor(sizeIndex);
  Remember(kSizeKey, QString::fromUtf8(kSizeNames[static_cast<std::size_t>(sizeIndex)]));
}

bool Form1::ChooseDeck(const QString& path) {
  if (IsConverting()) return false;
  const QFileInfo file(path);
  if (path.isEmpty() || !file.isFile() || !IsDeckExtension(ToPath(path))) {
    dialogs_.ShowMessage(this, QString::fromUtf8(kSelectDeckMessage), QString::fromUtf8(kProgramTitle),
                         MessageKind::Warning);
    return false;
  }
  const QString chosen = QDir::toNativeSeparators(file.absoluteFilePath());
  txtPPT_->setText(chosen);
  job_.m_PptPath = chosen.toStdString();
  return true;
}

// Any local file may be dropped; whether it is a deck is said on the drop.
void Form1::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!IsConverting() && data->hasUrls() && !data->urls().isEmpty() && data->urls().front().isLocalFile()) {
    event->acceptProposedAction();
  }
}

// One file at a time, as Open. The message box waits until the drop is over,
// so the file manager is not held in the middle of its drag.
void Form1::dropEvent(QDropEvent* event) {
  if (IsConverting()) return;
  const QList<QUrl> urls = event->mimeData()->urls();
  const QString path = urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
  event->acceptProposedAction();
  QMetaObject::invokeMethod(
      this, [this, path] { ChooseDeck(path); }, Qt::QueuedConnection);
}

void Form1::cmdConvert_Click() {
  if (IsConverting()) return;
  // The stored path is checked, not the text box: Open is what chooses a deck.
  if (!PresentationExists(dialogs_, this, job_.m_PptPath)) {
    dialogs_.ShowMessage(this, QString::fromUtf8(kSelectDeckMessage), QString::fromUtf8(kProgramTitle),
                         MessageKind::Warning);
    return;
  }
  Remember(kOutputFolderKey, txtSwf_->text());
  job_.m_Percent = 0;
  progress_->Start();
  ConversionSetup setup;
  setup.programFolder = std::filesystem::path(QDir::fromNativeSeparators(programFolder_).toStdString());
  setup.player = ChosenValue(kPlayerKey) == "local" ? PlayerSource::kBesidePage : PlayerSource::kOnline;
  setup.fullHd = ChosenValue(kFullScreenKey) == "hd";
  setup.learningPackage = ChosenValue(kPackageKey) == "on";
  setup.notes = ChosenValue(kNotesKey) == "with";
  runner_->Start(job_, txtPPT_->text().toStdString(), QDir::fromNativeSeparators(txtSwf_->text()).toStdString(), setup);
}

void Form1::ShowAbout() {
  if (about_) {
    about_->show();
    about_->raise();
    about_->activateWindow();
    return;
  }
  // No owner: the about window lives on its own, above the others.
  about_ = new FormAbout();
  about_->setAttribute(Qt::WA_DeleteOnClose);
  QRect frame = about_->geometry();
  frame.moveCenter(frameGeometry().center());
  about_->move(frame.topLeft());
  about_->show();
  about_->activateWindow();
}

// The panel belongs to the window: it stays above it and closes with it.
// Each choice is remembered as it is made.
void Form1::ShowOptions() {
  if (options_) {
    options_->show();
    options_->raise();
    options_->activateWindow();
    return;
  }
  options_ = new FormOptions(chosenOptions_, this);
  options_->setAttribute(Qt::WA_DeleteOnClose);
  connect(options_, &FormOptions::OptionChosen, this, &Form1::ChooseOption);
  QRect frame(QPoint(), options_->size());
  frame.moveCenter(frameGeometry().center());
  options_->move(frame.topLeft());
  options_->show();
  options_->activateWindow();
}

void Form1::ShowProgress(int percent) {
  job_.m_Percent = percent;
  progress_->Show(percent);
}

// The driver has put the movie, its script and the page in place and
// cleared the bar; it waits until the box is closed before it opens the page.
void Form1::ShowCompletion() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  dialogs_.ShowMessage(this, QString::fromUtf8(kCompleteMessage), QString::fromUtf8(kCompleteMessage),
                       MessageKind::Information);
}

void Form1::FinishConversion() {
  const ConversionResult& result = runner_->Result();
  job_.m_PptPath = result.job.m_PptPath;
  job_.m_SwfPath = result.job.m_SwfPath;
  const ConversionEnding ending = result.ending;
  if (ending != ConversionEnding::Completed) progress_->Clear();
  if (ending == ConversionEnding::Failed && !closeRequested_) {
    dialogs_.ShowMessage(this, FailureText(result), QString::fromUtf8(kProgramTitle), MessageKind::Failure);
  }
  emit ConversionFinished(ending);
  if (closeRequested_) close();
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
  centred_ = true;
  // Start with no text box focused; a click on the bare skin also unfocuses.
  picSkin_->setFocus();
  const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!display) return;
  QRect frame = geometry();
  frame.moveCenter(display->availableGeometry().center());
  move(frame.topLeft());
}

// Resize rule: the window is the size of its skin whenever it is not
// minimised.
void Form1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  KeepDesignSize();
}

// Restoring from minimised (or from a maximised state a window manager
// forced) snaps back to the design size as well.
void Form1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) KeepDesignSize();
}

void Form1::KeepDesignSize() {
  if (windowState() & Qt::WindowMinimized) return;
  const QSize design = ToPixels(kFormArea).size();
  if (size() != design) resize(design);
}

// Close during a conversion: cancel it, wait for the worker to end (the
// window stays responsive meanwhile), then close.
void Form1::closeEvent(QCloseEvent* event) {
  if (IsConverting()) {
    closeRequested_ = true;
    runner_->Cancel();
    progress_->ShowStatus(QString::fromUtf8(kCancellingCaption));
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace quillet::ui
