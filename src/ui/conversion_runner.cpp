// The conversion's worker thread and the bridge from the driver's observer to
// the window's thread.
#include "ui/conversion_runner.h"

#include <QMetaObject>

#include <exception>
#include <utility>

#include "platform/error.h"

namespace quillet::ui {

// Lives on the worker thread; every call becomes a queued call on the runner.
// Lives only while Work runs; what it posts to the window's thread may run
// after that, so the posted calls hold the runner, never the observer.
class ConversionRunner::Observer : public ConversionObserver {
 public:
  explicit Observer(ConversionRunner& runner) : runner_(runner) {}

  void ShowProgress(int percent, int, int) override {
    Post([runner = &runner_, percent] { emit runner->ProgressShown(percent); });
  }
  void ShowStatus(const std::string& text) override {
    Post([runner = &runner_, text = QString::fromStdString(text)] { emit runner->StatusShown(text); });
  }
  void ClearProgress() override {
    Post([runner = &runner_] { emit runner->ProgressCleared(); });
  }
  void ConversionComplete() override {
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.completionPending_ = true;
    }
    Post([runner = &runner_] {
      if (!runner->cancel_->IsCancelled()) emit runner->CompletionReached();
      runner->ReleaseCompletionBox();
    });
    runner_.WaitForCompletionBox();
  }
  void Warning(const std::string& text) override {
    Post([runner = &runner_, text = QString::fromStdString(text)] { emit runner->WarningRaised(text); });
  }
  void OpenPage(const std::filesystem::path& page) override {
    Post([runner = &runner_, path = QString::fromStdString(page.string())] { emit runner->PageWritten(path); });
  }

 private:
  template <typename Call>
  void Post(Call call) {
    QMetaObject::invokeMethod(&runner_, std::move(call), Qt::QueuedConnection);
  }

  ConversionRunner& runner_;
};

ConversionRunner::ConversionRunner(ConversionFunction convert, QObject* parent)
    : QObject(parent), convert_(std::move(convert)) {}

ConversionRunner::~ConversionRunner() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

void ConversionRunner::Start(const JobState& job, const std::string& deckText, const std::string& outputFolder,
                             const ConversionSetup& setup) {
  if (running_) return;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  cancel_ = std::make_unique<CancelFlag>();
  {
    std::lock_guard lock(mutex_);
    completionPending_ = false;
  }
  result_ = ConversionResult{};
  worker_ = std::thread(&ConversionRunner::Work, this, job, deckText, outputFolder, setup);
}

void ConversionRunner::Cancel() {
  cancel_->Cancel();
  ReleaseCompletionBox();
}

void ConversionRunner::WaitForCompletionBox() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return !completionPending_ || cancel_->IsCancelled(); });
}

void ConversionRunner::ReleaseCompletionBox() {
  {
    std::lock_guard lock(mutex_);
    completionPending_ = false;
  }
  released_.notify_all();
}

void ConversionRunner::Work(JobState job, const std::string& deckText, const std::string& outputFolder,
                            const ConversionSetup& setup) {
  ConversionResult result;
  Observer observer(*this);
  try {
    result.outcome = convert_(job, deckText, outputFolder, setup, observer, *cancel_);
    result.ending = ConversionEnding::Completed;
  } catch (const ConversionCancelled&) {
    result.ending = ConversionEnding::Cancelled;
  } catch (const Error& error) {
    result.ending = ConversionEnding::Failed;
    result.failure = QString::fromStdString(error.what());
    result.cause = error.Cause();
  } catch (const std::exception& error) {
    result.ending = ConversionEnding::Failed;
    result.failure = QString::fromStdString(error.what());
  } catch (...) {
    result.ending = ConversionEnding::Failed;
    result.failure = QStringLiteral("An unexpected error stopped the conversion.");
  }
  result.job = job;
  QMetaObject::invokeMethod(
      this,
      [this, result = std::move(result)] {
        result_ = result;
        Join();
        running_ = false;
        emit Finished();
      },
      Qt::QueuedConnection);
}

void ConversionRunner::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace quillet::ui
