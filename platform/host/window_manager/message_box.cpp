// MessageBoxW: the backend shows the box while a modal loop keeps dispatching
// the thread's messages to its windows until the box is answered.
//
// Every box shown is recorded for host control. The modal loop dispatches
// whatever is ready (posted messages, paints, due timers) in rounds of at most
// kMaxRound messages, asks the backend for the answer after each round, and
// otherwise waits for the next message or the backend's wake-up time; so with
// the virtual clock a box answered after N ms lets exactly the timers of those
// N ms fire behind it. A pending quit ends the loop and stays pending for the
// outer loop, as on the platform.
#include <mutex>

#include "platform/host/runtime/host_clock.h"
#include "platform/host/window_manager/window_manager_control.h"
#include "platform/host/window_manager/window_state.h"

namespace host {
namespace {

// Messages dispatched before the box is asked again for its answer.
constexpr int kMaxRound = 1000;

struct Boxes {
  std::mutex lock;  // tests may read the records from another thread
  std::vector<MessageBoxRecord> shown;
};

Boxes& boxes() {
  static Boxes* instance = new Boxes;
  return *instance;
}

void record(const MessageBoxState& box) {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  b.shown.push_back(MessageBoxRecord{box.owner, box.caption, box.text, box.style, clockNowMs()});
}

// Dispatches up to kMaxRound ready messages; false when a quit is pending.
bool dispatchRound() {
  MSG message;
  for (int i = 0; i < kMaxRound; ++i) {
    Ready ready = takeReadyMessage(&message, nullptr, 0, 0, false);
    if (ready == Ready::QuitPending) return false;
    if (ready != Ready::Message) return true;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

// The modal loop: runs until the backend has an answer or a quit is pending.
void runModalLoop(MessageBoxState* box) {
  for (;;) {
    if (!dispatchRound()) return;
    backend().pollMessageBox(box);
    if (box->answer != 0) return;
    waitForMessages(box->wakeAtMs);
  }
}

}  // namespace

std::vector<MessageBoxRecord> messageBoxesShown() {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  return b.shown;
}

void resetMessageBoxes() {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  b.shown.clear();
}

}  // namespace host

using namespace host;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  MessageBoxState box;
  box.owner = owner;
  box.text = text != nullptr ? text : u"";
  box.caption = caption != nullptr ? caption : u"Error";  // the platform's caption when none is given
  box.style = type;
  record(box);
  if (backend().openMessageBox(&box)) {
    runModalLoop(&box);
    backend().closeMessageBox(&box);
  }
  return box.answer != 0 ? box.answer : IDOK;
}
