// The headless backend's input: immediate and scheduled injections, the input
// script (syntax in headless_control.h), and their delivery as window messages.
//
// Invariant: pending inputs are kept in order of their time (inputs of the
// same time in the order given) under one mutex, so any thread may inject;
// they become messages only on the user-interface thread, when the message
// loop pumps the backend, and an input is delivered exactly once.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/host/headless/headless_state.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/headless/headless_control.h"
#include "platform/host/threads/power_source.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/shell.h"

namespace host {
namespace {

// The time of an input to deliver at the loop's next look.
constexpr int64_t kAtOnce = INT64_MIN;
// Script times above this (about 31 years) are refused.
constexpr int64_t kMaxScriptMs = int64_t(1) << 40;

struct Inputs {
  std::mutex lock;
  std::vector<ScheduledInput> pending;  // ordered by atMs, stable
};

Inputs& inputs() {
  static Inputs* instance = new Inputs;
  return *instance;
}

void enqueue(int64_t atMs, const HeadlessInput& input) {
  {
    Inputs& in = inputs();
    std::lock_guard<std::mutex> guard(in.lock);
    auto after = std::upper_bound(in.pending.begin(), in.pending.end(), atMs,
                                  [](int64_t t, const ScheduledInput& s) { return t < s.atMs; });
    in.pending.insert(after, ScheduledInput{atMs, input});
  }
  wakeMessageLoop();
}

// Takes the inputs due at nowMs, in order.
std::vector<ScheduledInput> takeDue(int64_t nowMs) {
  Inputs& in = inputs();
  std::lock_guard<std::mutex> guard(in.lock);
  auto end = std::upper_bound(in.pending.begin(), in.pending.end(), nowMs,
                              [](int64_t t, const ScheduledInput& s) { return t < s.atMs; });
  std::vector<ScheduledInput> due(in.pending.begin(), end);
  in.pending.erase(in.pending.begin(), end);
  return due;
}

// A press and release of the left button at screen point (x, y).
void deliverTap(int x, int y) {
  HWND target = windowAtPoint(x, y);
  Window* w = localWindow(target);
  if (w == nullptr) return;
  LPARAM at = MAKELPARAM(x - w->x, y - w->y);
  postToQueue(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  postToQueue(target, WM_LBUTTONUP, 0, at);
}

void deliverTrayTap(const HeadlessInput& input) {
  TrayIcon icon;
  if (!findTrayIcon(!input.hasId, UINT(input.a), &icon) || (icon.flags & NIF_MESSAGE) == 0) return;
  postToQueue(icon.window, icon.callbackMessage, icon.id, WM_LBUTTONDOWN);
  postToQueue(icon.window, icon.callbackMessage, icon.id, WM_LBUTTONUP);
}

void deliver(const HeadlessInput& input) {
  HWND target = inputTargetWindow();
  switch (input.kind) {
    case InputKind::Tap: deliverTap(input.a, input.b); break;
    case InputKind::Key:
      if (target == nullptr) break;
      postToQueue(target, WM_KEYDOWN, WPARAM(input.a), 1);
      postToQueue(target, WM_KEYUP, WPARAM(input.a), LPARAM(0xC0000001u));
      break;
    case InputKind::Close:
      if (target != nullptr) postToQueue(target, WM_CLOSE, 0, 0);
      break;
    case InputKind::Activate:
      if (target != nullptr) postToQueue(target, WM_ACTIVATE, WA_ACTIVE, 0);
      break;
    case InputKind::TrayTap: deliverTrayTap(input); break;
    case InputKind::Resume: deliverResume(); break;
    case InputKind::Suspend: deliverSuspend(); break;
    case InputKind::ScreenSize: resizeHeadlessScreen(input.a, input.b); break;
    case InputKind::SecondStart:
      if (target != nullptr) postToQueue(target, MSG_OTHER_INSTANCE, WPARAM(input.a), 0);
      break;
  }
}

// ---- the script ----

std::string trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    parts.push_back(trim(text.substr(start, at == std::string::npos ? std::string::npos : at - start)));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool isDecimal(const std::string& field) {
  return !field.empty() && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole field as an integer in [low, high] (decimal, or hex after 0x).
bool readNumber(const std::string& field, long long low, long long high, long long* value) {
  if (field.empty()) return false;
  const char* text = field.c_str();
  char* end = nullptr;
  errno = 0;
  bool hex = field.size() > 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X');
  long long v = std::strtoll(text, &end, hex ? 16 : 10);
  if (errno != 0 || end == text || *end != 0 || v < low || v > high) return false;
  *value = v;
  return true;
}

// The verb and arguments of one entry; false when malformed.
bool readVerb(const std::vector<std::string>& f, HeadlessInput* input) {
  const std::string& verb = f[1];
  size_t args = f.size() - 2;
  long long a = 0, b = 0;
  auto noArgs = [&](InputKind kind) {
    input->kind = kind;
    return args == 0;
  };
  if (verb == "tap") {
    input->kind = InputKind::Tap;
    if (args != 2 || !readNumber(f[2], -65535, 65535, &a) || !readNumber(f[3], -65535, 65535, &b)) return false;
  } else if (verb == "key") {
    input->kind = InputKind::Key;
    if (args != 1 || !readNumber(f[2], 1, 255, &a)) return false;
  } else if (verb == "size") {
    input->kind = InputKind::ScreenSize;
    if (args != 2 || !readNumber(f[2], 1, kMaxBitmapSide, &a) || !readNumber(f[3], 1, kMaxBitmapSide, &b)) return false;
  } else if (verb == "tray") {
    input->kind = InputKind::TrayTap;
    if (args > 1 || (args == 1 && !readNumber(f[2], 0, UINT_MAX, &a))) return false;
    input->hasId = args == 1;
  } else if (verb == "second") {
    input->kind = InputKind::SecondStart;
    if (args != 1 || !readNumber(f[2], 0, 1, &a)) return false;
  } else if (verb == "close") {
    return noArgs(InputKind::Close);
  } else if (verb == "activate") {
    return noArgs(InputKind::Activate);
  } else if (verb == "resume") {
    return noArgs(InputKind::Resume);
  } else if (verb == "suspend") {
    return noArgs(InputKind::Suspend);
  } else {
    return false;
  }
  input->a = int(a);
  input->b = int(b);
  return true;
}

}  // namespace

void startHeadlessInput() {
  clearInputScript();
  const char* script = std::getenv("TESSARIL_HEADLESS_INPUT");
  if (script == nullptr || script[0] == 0) return;
  std::string error;
  if (!addInputScript(script, &error)) std::fprintf(stderr, "TESSARIL_HEADLESS_INPUT: %s\n", error.c_str());
}

void pumpHeadlessInput(int64_t nowMs) {
  for (const ScheduledInput& s : takeDue(nowMs)) deliver(s.input);
}

int64_t nextHeadlessInputTime() {
  Inputs& in = inputs();
  std::lock_guard<std::mutex> guard(in.lock);
  return in.pending.empty() ? kNever : in.pending.front().atMs;
}

bool parseInputScript(const char* text, std::vector<ScheduledInput>* entries, std::string* error) {
  std::vector<ScheduledInput> parsed;
  for (const std::string& entry : split(text != nullptr ? text : "", ';')) {
    if (entry.empty()) continue;
    std::vector<std::string> fields = split(entry, ':');
    ScheduledInput s;
    long long at = 0;
    bool ok = fields.size() >= 2 && isDecimal(fields[0]) && readNumber(fields[0], 0, kMaxScriptMs, &at) &&
              readVerb(fields, &s.input);
    if (!ok) {
      if (error != nullptr) *error = "bad input entry \"" + entry + "\"";
      return false;
    }
    s.atMs = at;
    parsed.push_back(s);
  }
  std::stable_sort(parsed.begin(), parsed.end(),
                   [](const ScheduledInput& l, const ScheduledInput& r) { return l.atMs < r.atMs; });
  *entries = parsed;
  return true;
}

bool addInputScript(const char* text, std::string* error) {
  std::vector<ScheduledInput> entries;
  if (!parseInputScript(text, &entries, error)) return false;
  for (const ScheduledInput& s : entries) enqueue(s.atMs, s.input);
  return true;
}

void clearInputScript() {
  Inputs& in = inputs();
  std::lock_guard<std::mutex> guard(in.lock);
  in.pending.clear();
}

size_t pendingInputCount() {
  Inputs& in = inputs();
  std::lock_guard<std::mutex> guard(in.lock);
  return in.pending.size();
}

void injectInput(const HeadlessInput& input) { enqueue(kAtOnce, input); }

void injectTap(int x, int y) { injectInput(HeadlessInput{InputKind::Tap, x, y, false}); }
void injectKey(UINT virtualKey) { injectInput(HeadlessInput{InputKind::Key, int(virtualKey), 0, false}); }
void injectTrayTap() { injectInput(HeadlessInput{InputKind::TrayTap, 0, 0, false}); }
void injectTrayTap(UINT id) { injectInput(HeadlessInput{InputKind::TrayTap, int(id), 0, true}); }
void injectScreenSize(int width, int height) {
  if (!bitmapSizeFits(width, height)) return;
  injectInput(HeadlessInput{InputKind::ScreenSize, width, height, false});
}

}  // namespace host
