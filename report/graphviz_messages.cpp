#include "report/graphviz_messages.h"

#include <cstring>

#include "io/interrupt.h"

namespace brevox {

namespace {

// Where Graphviz's messages go while a graph is drawn. Graphviz hands them to one function of
// the whole process, without a pointer of ours, so they are collected here.
std::string* graphvizMessages = nullptr;

int keepGraphvizMessage(char* text) {
  if (graphvizMessages != nullptr) *graphvizMessages += text;
  return 0;
}

// The text layout that Graphviz draws with (Pango, over GLib) prints its warnings through GLib's
// log, on standard error unless a handler takes them.
// A fatal one (GLib aborts after it, as when memory runs out inside the text layout) ends the run
// here instead, with its temporary files removed.
void keepLibraryMessage(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
  if ((level & (G_LOG_FLAG_FATAL | G_LOG_LEVEL_ERROR)) != 0) {
    if (message != nullptr && std::strstr(message, "failed to allocate") != nullptr) {
      endRunNow(kNotEnoughMemory, nullptr);
    }
    endRunNow("The run stopped: ", message);
  }
  if (graphvizMessages == nullptr) return;
  *graphvizMessages += std::string(domain != nullptr ? domain : "GLib") + ": " +
                       (message != nullptr ? message : "") + "\n";
}

}  // namespace

MessageCapture::MessageCapture()
    : previousHandler(agseterrf(keepGraphvizMessage)), previousLevel(agseterr(AGWARN)) {
  graphvizMessages = &messages;
  agreseterrors();
  const auto levels =
      static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
  for (std::size_t i = 0; i < logHandlers.size(); ++i) {
    logHandlers[i] = g_log_set_handler(kLibraryLogDomains[i], levels, keepLibraryMessage, nullptr);
  }
}

MessageCapture::~MessageCapture() {
  for (std::size_t i = 0; i < logHandlers.size(); ++i) {
    g_log_remove_handler(kLibraryLogDomains[i], logHandlers[i]);
  }
  graphvizMessages = nullptr;
  agseterrf(previousHandler);
  agseterr(previousLevel);
}

std::string failureMessage(const MessageCapture& capture, const char* otherwise) {
  std::string text = capture.messages;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? otherwise : text;
}

}  // namespace brevox
