#include "platform/qt/started_program.h"

#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <vector>

namespace tesqua {
namespace {

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace

bool StartedProgram::Start(const QString& program, const QStringList& arguments, QObject& owner,
                           std::function<void()> on_failure) {
  std::vector<QByteArray> encoded{QFile::encodeName(program)};
  for (const QString& argument : arguments) encoded.push_back(argument.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& bytes : encoded) argv.push_back(bytes.data());
  argv.push_back(nullptr);

  // A session of its own: closing the terminal Tesqua was started from, or Tesqua itself,
  // leaves the editor running. No signal stays blocked that a thread of Qt's had blocked.
  SpawnAttributes attributes;
  sigset_t no_signals;
  sigemptyset(&no_signals);
  posix_spawnattr_setsigmask(attributes.get(), &no_signals);
  posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv.front(), nullptr, attributes.get(), argv.data(), environ) != 0) {
    return false;
  }
  // Without a process descriptor (a kernel older than 5.3) it runs unwatched. The system call
  // itself: the C library's wrapper is missing or unusable from C++ in older versions.
  const int process_fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (process_fd >= 0) new StartedProgram(pid, process_fd, owner, std::move(on_failure));
  return true;
}

StartedProgram::StartedProgram(pid_t pid, int process_fd, QObject& owner,
                               std::function<void()> on_failure)
    : QObject(QCoreApplication::instance()),
      owner_(&owner),
      pid_(pid),
      process_fd_(process_fd),
      notifier_(process_fd, QSocketNotifier::Read),
      on_failure_(std::move(on_failure)) {
  connect(&notifier_, &QSocketNotifier::activated, this, &StartedProgram::Ended);
}

StartedProgram::~StartedProgram() {
  notifier_.setEnabled(false);
  close(process_fd_);
}

void StartedProgram::Ended() {
  int status = 0;
  const pid_t ended = waitpid(pid_, &status, WNOHANG);
  if (ended == 0) return;
  notifier_.setEnabled(false);
  // -1: reaped by someone else, its status unknown.
  const bool failed = ended == pid_ && (!WIFEXITED(status) || WEXITSTATUS(status) != 0);
  const std::function<void()> report =
      failed && owner_ && !deadline_.hasExpired() ? on_failure_ : nullptr;
  // The report may run a modal box, in which this object may go: nothing of it is used after.
  deleteLater();
  if (report) report();
}

}  // namespace tesqua
