#include "platform/posix/signals.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace kefconvert::detail {
namespace {

// A fixed table, so that the handler reads only memory that never moves or goes away.
struct PendingOutput {
  std::atomic<int> state{0};
  int folder = -1;
  int fd = -1;
  char hidden[NAME_MAX + 1] = {};
  char spare[NAME_MAX + 1] = {};  // the hidden name with another last character
  char converted[NAME_MAX + 1] = {};
};

enum : int { kFree, kFilling, kPending };

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM};

PendingOutput pending_outputs[64];
std::atomic<bool> handlers_installed{false};
std::once_flag install_once;

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the table lock-free");

// Puts a new empty file, with the hidden file's permissions and owner, under the converted
// name. Another thread may be writing into the hidden file even now; this file is beyond
// its reach. False when there is no such file, and nothing changed.
bool PutEmptyFileInPlace(const PendingOutput& output) {
  struct stat hidden;
  if (::fstat(output.fd, &hidden) != 0) return false;
  int fd = ::openat(output.folder, output.spare,
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  (void)::fchmod(fd, hidden.st_mode & 07777);
  if (hidden.st_uid != ::geteuid() || hidden.st_gid != ::getegid()) {
    (void)::fchown(fd, hidden.st_uid, hidden.st_gid);
  }
  (void)::close(fd);
  if (::renameat(output.folder, output.spare, output.folder, output.converted) != 0) {
    (void)::unlinkat(output.folder, output.spare, 0);
    return false;
  }
  return true;
}

extern "C" void AbandonPendingOutputsAndEnd(int signal_number) {
  for (PendingOutput& output : pending_outputs) {
    if (output.state.load(std::memory_order_acquire) != kPending) continue;
    if (output.converted[0] == '\0') {
      // the name stays as it was
      (void)::unlinkat(output.folder, output.hidden, 0);
      continue;
    }
    // as after a failure: the converted name holds an empty file, no hidden file stays
    if (PutEmptyFileInPlace(output)) {
      (void)::unlinkat(output.folder, output.hidden, 0);
      continue;
    }
    (void)::ftruncate(output.fd, 0);
    if (::renameat(output.folder, output.hidden, output.folder, output.converted) != 0) {
      (void)::unlinkat(output.folder, output.hidden, 0);
    }
  }
  // end by the same signal, so that the parent sees what ended the process
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &action, nullptr);
  ::raise(signal_number);
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// A child process has none of its parent's conversions to abandon.
void ForgetAllInChild() {
  for (PendingOutput& output : pending_outputs)
    output.state.store(kFree, std::memory_order_relaxed);
}

void InstallHandlers() {
  ::pthread_atfork(nullptr, nullptr, ForgetAllInChild);
  for (int signal_number : kTerminationSignals) {
    struct sigaction before;
    if (::sigaction(signal_number, nullptr, &before) != 0) continue;
    bool by_default = !(before.sa_flags & SA_SIGINFO) && before.sa_handler == SIG_DFL;
    if (!by_default) continue;  // the program ignores or handles it: its choice stands
    struct sigaction action = {};
    action.sa_handler = AbandonPendingOutputsAndEnd;
    ::sigemptyset(&action.sa_mask);
    for (int other : kTerminationSignals) ::sigaddset(&action.sa_mask, other);
    ::sigaction(signal_number, &action, nullptr);
  }
  handlers_installed.store(true, std::memory_order_release);
}

bool CopyName(char (&to)[NAME_MAX + 1], const char* name) {
  std::size_t length = std::strlen(name);
  if (length > NAME_MAX) return false;
  std::memcpy(to, name, length + 1);
  return true;
}

}  // namespace

int TrackPendingOutput(int folder, int fd, const char* hidden, const char* converted) {
  std::call_once(install_once, InstallHandlers);
  for (int ticket = 0; ticket < static_cast<int>(std::size(pending_outputs)); ++ticket) {
    PendingOutput& output = pending_outputs[ticket];
    int expected = kFree;
    if (!output.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      continue;
    }
    output.folder = folder;
    output.fd = fd;
    if (!CopyName(output.hidden, hidden) || !CopyName(output.spare, hidden) ||
        !CopyName(output.converted, converted ? converted : "")) {
      output.state.store(kFree, std::memory_order_release);
      return -1;
    }
    // no hidden name ends in "_"
    std::size_t length = std::strlen(output.spare);
    if (length > 0) output.spare[length - 1] = '_';
    output.state.store(kPending, std::memory_order_release);
    return ticket;
  }
  return -1;
}

void ForgetPendingOutput(int ticket) {
  if (ticket >= 0) pending_outputs[ticket].state.store(kFree, std::memory_order_release);
}

TerminationSignalsHeld::TerminationSignalsHeld()
    : held_(handlers_installed.load(std::memory_order_acquire)) {
  if (!held_) return;
  sigset_t set;
  ::sigemptyset(&set);
  for (int signal_number : kTerminationSignals) ::sigaddset(&set, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &set, &before_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
  if (held_) ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace kefconvert::detail
