#pragma once

#include <glib.h>
#include <gvc.h>

#include <array>
#include <string>

namespace brevox {

/// The libraries whose messages, printed through GLib's log, a capture takes: the text layout
/// that Graphviz draws with (Pango) and GLib itself.
inline constexpr const char* kLibraryLogDomains[] = {"Pango", "PangoCairo", "PangoFT2", "GLib",
                                                     "GLib-GObject"};

/// Collects Graphviz's messages, and those of the libraries it draws with, from its construction
/// to its end, so that none reaches the console, and tells whether any of them was an error of
/// Graphviz's (a warning is not). A fatal message of GLib's (after which GLib aborts, as when
/// memory runs out inside the text layout) ends the run instead, with its temporary files
/// removed. Graphviz hands its messages to one function of the whole process: one capture at a
/// time, from one thread.
struct MessageCapture {
  std::string messages;
  agusererrf previousHandler;
  agerrlevel_t previousLevel;
  std::array<guint, sizeof kLibraryLogDomains / sizeof kLibraryLogDomains[0]> logHandlers{};

  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  bool errorSeen() const { return agerrors() >= AGERR; }
};

/// What Graphviz said about a graph it could not draw, without the line ends after it, or
/// `otherwise` when it said nothing.
std::string failureMessage(const MessageCapture& capture, const char* otherwise);

}  // namespace brevox
