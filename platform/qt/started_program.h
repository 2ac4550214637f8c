// A program started for the user, such as the text editor: it runs in a session of its own,
// is never waited for and never killed (it outlives the window), and is watched without
// blocking the window for a few seconds, in which a failure exit means it did not do its job.
#pragma once

#include <sys/types.h>

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <chrono>
#include <functional>

namespace tesqua {

class StartedProgram : public QObject {
  Q_OBJECT

 public:
  // A failure exit later than this is the user's business (a terminal editor quit with :cq).
  static constexpr std::chrono::seconds kWatchTime{5};

  // Starts program, looked up on PATH, with arguments; false when it cannot be started.
  // on_failure runs when the program exits with a failure (or is killed) within kWatchTime
  // and owner still exists. The program is reaped whenever it ends, while the application
  // runs.
  static bool Start(const QString& program, const QStringList& arguments, QObject& owner,
                    std::function<void()> on_failure);

  ~StartedProgram() override;

 private:
  StartedProgram(pid_t pid, int process_fd, QObject& owner, std::function<void()> on_failure);
  void Ended();

  QPointer<QObject> owner_;
  pid_t pid_;
  int process_fd_;  // readable once the process has ended
  QSocketNotifier notifier_;
  QDeadlineTimer deadline_{kWatchTime};
  std::function<void()> on_failure_;
};

}  // namespace tesqua
