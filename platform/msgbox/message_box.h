#pragma once
// The three message boxes of the program, captioned "Plashwerk".
//
// Each formats printf-style into at most 4096 bytes, records the text in the trace log and
// hands it to the current sink. Without a GUI the sink prints it: errors and warnings to
// standard error, information to standard output. A GUI installs a sink that shows a modal
// box; tests install one that captures.

#include <functional>

#include "platform/program/program_info.h"

namespace plashwerk {

enum class MessageBoxKind { Error, Information, Warning };

inline constexpr const char* kMessageBoxCaption = kAppName;
inline constexpr int kMessageBoxBytes = 4096;

using MessageBoxSink =
    std::function<void(MessageBoxKind kind, const char* caption, const char* text)>;

/// Replaces the sink; an empty function restores the console sink. Returns the previous one.
MessageBoxSink setMessageBoxSink(MessageBoxSink sink);

void showErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));
void showInformationBox(const char* format, ...) __attribute__((format(printf, 1, 2)));
void showWarningBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace plashwerk
