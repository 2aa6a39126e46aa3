#pragma once
// Opening a web page in the desktop's browser, as the shell's "open" verb does: the desktop's
// opener program (xdg-open) is started with the address as its one argument, never through
// a shell, so no character of the address is interpreted. The caller never waits for it.

#include <sys/types.h>

#include <string>

namespace plashwerk {

/// The program that opens addresses on a freedesktop.org desktop.
inline constexpr const char* kDesktopOpener = "xdg-open";

/// Starts `program` (looked up on PATH) with `url` as its only argument and returns its
/// process id, or -1 when it could not be started. The caller reaps the child.
pid_t startLinkOpener(const std::string& url, const char* program = kDesktopOpener);

/// Opens `url` with `program` and returns at once; a thread of its own reaps the child, so
/// no zombie is left and the caller is never held up. An empty address does nothing. When
/// the program cannot be started, or ends with a failure, a line goes to the trace log and
/// nothing else happens. False when it could not be started.
bool openLink(const std::string& url, const char* program = kDesktopOpener);

}  // namespace plashwerk
