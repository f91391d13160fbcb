// The converted files being written, as a signal handler sees them. When SIGINT or SIGTERM
// would end the process, each of them is abandoned first, as after a failure (an empty file
// put in place of the converted name, and the hidden file removed), and the process then
// ends by the same signal. Only signals left at their default action are handled this way: a program
// that ignores or handles them itself keeps that.
#ifndef KEFCONVERT_PLATFORM_POSIX_SIGNALS_H_
#define KEFCONVERT_PLATFORM_POSIX_SIGNALS_H_

#include <signal.h>

namespace kefconvert::detail {

/// Makes the hidden file `hidden`, open as `fd` in the folder open as `folder`, known to
/// the signal handlers, which on a signal put a new empty file with its permissions under
/// the name `converted` in the same folder, and remove it; another thread may write into
/// it meanwhile. Where no new file can be made, the hidden file itself is emptied and
/// renamed. Both names are copied; neither may hold a '/'. Returns a ticket for
/// ForgetPendingOutput, or -1 when too many files are pending at once (that one is then
/// left as it is on a signal, as after SIGKILL).
/// With `converted` null, a signal removes the hidden file and leaves every other name alone.
int TrackPendingOutput(int folder, int fd, const char* hidden, const char* converted);

/// The file is no longer the handlers' to abandon; `ticket` -1 is ignored.
void ForgetPendingOutput(int ticket);

/// Holds SIGINT and SIGTERM back on this thread while it lives, so that a commit or a
/// discard is never cut in half by the handlers; the held signal arrives at its end.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;
  ~TerminationSignalsHeld();

 private:
  bool held_;
  sigset_t before_;
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_PLATFORM_POSIX_SIGNALS_H_
