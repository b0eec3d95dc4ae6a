#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace palvane::host {

// Where messages to the user go: a modal message box with an OK button on
// Windows, standard error on the command line, a recorder in tests. Show
// returns when the user has dismissed the message.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(std::string_view text) = 0;
};

// `text` fit to show on one line of a terminal: valid UTF-8 printable text
// stays as it is; control characters (line ends too), the marks that
// reorder or break a line (bidirectional controls, line separators), and
// bytes that are not part of valid UTF-8 become \xNN, byte by byte, so that
// a binary file quoted in a message cannot garble the terminal. A backslash
// stays a backslash.
std::string PrintableText(std::string_view text);

// Writes each message as one line "message: TEXT" to standard error.
class StderrMessageSink : public MessageSink {
 public:
  void Show(std::string_view text) override;
};

// Shows nothing: for readers whose callers judge what they found themselves.
class SilentMessageSink : public MessageSink {
 public:
  void Show(std::string_view) override {}
};

// Keeps every message, in order, and passes each on to another sink as it
// comes.
class CollectingMessageSink : public MessageSink {
 public:
  explicit CollectingMessageSink(MessageSink& next) : next_(next) {}
  void Show(std::string_view text) override {
    messages.emplace_back(text);
    next_.Show(text);
  }
  std::vector<std::string> messages;

 private:
  MessageSink& next_;
};

// Keeps every message, in order.
class RecordingMessageSink : public MessageSink {
 public:
  void Show(std::string_view text) override { messages_.emplace_back(text); }
  const std::vector<std::string>& messages() const { return messages_; }
  void clear() { messages_.clear(); }

 private:
  std::vector<std::string> messages_;
};

}  // namespace palvane::host
