#include "ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds RedrawInterval(200);

size_t TerminalWidth(int descriptor) {
  struct winsize size {};
  if (ioctl(descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// The last `width` columns of a UTF-8 text, starting on a whole character, "..." before.
std::string Tail(const std::string& text, size_t width) {
  size_t columns = 0;
  for (unsigned char c : text) columns += (c & 0xC0) != 0x80;
  if (columns <= width) return text;
  if (width <= 3) return std::string();
  size_t skip = columns - (width - 3), at = 0;
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (skip == 0) break;
    --skip;
  }
  return "..." + text.substr(at);
}

}  // namespace

ProgressLine::ProgressLine(int descriptor) : descriptor_(descriptor), active_(isatty(descriptor) == 1) {}

void ProgressLine::ProcessMessages() {
  if (!active_) return;
  auto now = std::chrono::steady_clock::now();
  if (now < next_) return;
  next_ = now + RedrawInterval;
  std::string text = size_.empty() ? file_ : size_ + "  " + file_;
  // One column less than the terminal, so the line never wraps.
  Draw("\r" + Tail(text, TerminalWidth(descriptor_) - 1) + "\x1b[K");
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  Draw("\r\x1b[K");
  drawn_ = false;
}

void ProgressLine::Draw(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(descriptor_, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
  drawn_ = true;
}
