// Runs one conversion on a worker thread and hands what it reports to the
// window's thread. Progress, status, clearing and the page arrive as queued
// calls, in the order the driver made them. The driver has put the movie, its
// script and the page in place before it says "Conversion complete.", which
// holds the worker until the window's handler (the message box) has
// returned, so the page is opened only after the user has closed the box. Cancel() sets the
// driver's CancelFlag and releases a held worker; the destructor cancels and
// waits, so no worker outlives the window.
#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "conversion/convert_presentation.h"
#include "platform/error.h"

namespace quillet::ui {

// The driver's signature; the window runs quillet::ConvertPresentation,
// tests run fakes that report like it.
using ConversionFunction = std::function<ConversionOutcome(
    JobState& job, const std::string& deckText, const std::string& outputFolder, const ConversionSetup& setup,
    ConversionObserver& observer, const CancelFlag& cancel)>;

enum class ConversionEnding { Completed, Cancelled, Failed };

struct ConversionResult {
  ConversionEnding ending = ConversionEnding::Completed;
  QString failure;  // what went wrong, for Failed
  FailureCause cause = FailureCause::kOther;
  JobState job;  // the job as the driver left it
  ConversionOutcome outcome;
};

class ConversionRunner : public QObject {
  Q_OBJECT

 public:
  explicit ConversionRunner(ConversionFunction convert, QObject* parent = nullptr);
  ~ConversionRunner() override;

  bool IsRunning() const { return running_; }
  // Starts a conversion; ignored while one runs.
  void Start(const JobState& job, const std::string& deckText, const std::string& outputFolder,
             const ConversionSetup& setup);
  void Cancel();
  const ConversionResult& Result() const { return result_; }

 signals:
  void ProgressShown(int percent);
  void StatusShown(const QString& text);
  void ProgressCleared();
  // Handlers run before the worker goes on: show the box here.
  void CompletionReached();
  void WarningRaised(const QString& text);
  void PageWritten(const QString& pagePath);
  // The worker has ended and been joined; Result() tells how.
  void Finished();

 private:
  class Observer;
  void Work(JobState job, const std::string& deckText, const std::string& outputFolder, const ConversionSetup& setup);
  void WaitForCompletionBox();
  void ReleaseCompletionBox();
  void Join();

  ConversionFunction convert_;
  std::unique_ptr<CancelFlag> cancel_ = std::make_unique<CancelFlag>();  // a fresh one per conversion
  std::thread worker_;
  bool running_ = false;
  ConversionResult result_;

  std::mutex mutex_;
  std::condition_variable released_;
  bool completionPending_ = false;
};

}  // namespace quillet::ui
