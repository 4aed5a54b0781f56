#pragma once

namespace viren {

// The worker threads the program starts itself (driving, simulation, program
// interface, device senders) run above the window and the video library so
// that a drive command follows the frame that decided it. Linux lets a thread
// lower its nice value only with CAP_SYS_NICE or a nice limit
// (/etc/security/limits.conf); without either the thread runs on as it is and
// the first refusal in the process is written to the diagnostic log. Call it
// first thing on the thread; `threadName` names it in the log. True when the
// priority was raised.
bool RaiseWorkerThreadPriority(const char* threadName);

// The nice value asked for. Windows' "highest" lifts a thread two steps
// within its class; a Linux nice step weighs about 1.25, so ten steps give a
// worker roughly nine times the share of a busy normal thread, enough to keep
// it ahead of the analysis without the risks of a real-time policy.
inline constexpr int kWorkerThreadNice = -10;

}  // namespace viren
