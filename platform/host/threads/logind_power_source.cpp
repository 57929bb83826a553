// The desktop power source: logind's PrepareForSleep signal on the system bus.
//
// While it runs it holds one system-bus connection (DBUS_SYSTEM_BUS_ADDRESS
// when set) with a match on PrepareForSleep sent by the owner of
// org.freedesktop.login1 (the bus checks the sender, so a signal of the same
// name from any other connection is never delivered), served by one thread of
// its own that sleeps in poll on the bus and a wake-up eventfd. true (about to
// sleep) becomes a suspend record, false (woken) a resume record. Stopping
// wakes the thread, joins it and closes the connection. A bus that goes away
// ends the thread; the subscriptions stay but receive nothing more.
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

#include "platform/host/threads/power_source.h"
#include "platform/runtime.h"

namespace host {
namespace {

constexpr const char* kPrepareForSleepMatch =
    "type='signal',sender='org.freedesktop.login1',path='/org/freedesktop/login1',"
    "interface='org.freedesktop.login1.Manager',member='PrepareForSleep'";

// Start and stop are serialised by the power table's lock; only the thread
// reads bus and wakeFd while it runs.
struct Logind {
  sd_bus* bus = nullptr;
  sd_bus_slot* match = nullptr;
  int wakeFd = -1;
  std::thread thread;
};

Logind& logind() {
  static Logind* instance = new Logind;  // the source may be stopped after static destructors ran
  return *instance;
}

// The platform's error code for a failed connection or match (errno value r < 0).
DWORD errorForBus(int r) {
  if (r == -EACCES || r == -EPERM) return ERROR_ACCESS_DENIED;
  return ERROR_SERVICE_NOT_ACTIVE;
}

// Called by sd-bus for each PrepareForSleep(b) from logind: queues the record.
int onPrepareForSleep(sd_bus_message* message, void* userdata, sd_bus_error* error) {
  (void)userdata;
  (void)error;
  int sleeping = 0;
  if (sd_bus_message_read(message, "b", &sleeping) < 0) return 0;  // a malformed signal is dropped
  if (sleeping) {
    deliverSuspend();
  } else {
    deliverResume();
  }
  return 0;
}

// How long poll may sleep before sd-bus has a timeout of its own to handle
// (-1: none), from the absolute CLOCK_MONOTONIC time sd_bus_get_timeout gives.
int pollTimeoutMs(sd_bus* bus) {
  uint64_t until = 0;
  if (sd_bus_get_timeout(bus, &until) <= 0 || until == UINT64_MAX) return -1;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t nowUs = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
  if (until <= nowUs) return 0;
  uint64_t ms = (until - nowUs + 999) / 1000;
  return ms > 60000 ? 60000 : int(ms);
}

// The thread: handles what the bus has, then sleeps until the bus or the
// wake-up descriptor has something; ends on a wake-up or a lost connection.
void serveBus(sd_bus* bus, int wakeFd) {
  for (;;) {
    int r;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (r < 0) return;  // the bus went away
    int events = sd_bus_get_events(bus);
    int fd = sd_bus_get_fd(bus);
    if (events < 0 || fd < 0) return;
    pollfd fds[2] = {{fd, short(events), 0}, {wakeFd, POLLIN, 0}};
    if (poll(fds, 2, pollTimeoutMs(bus)) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
  }
}

// Releases the connection and the wake-up descriptor (the thread has ended).
void closeBus(Logind& l) {
  l.match = sd_bus_slot_unref(l.match);
  l.bus = sd_bus_flush_close_unref(l.bus);
  if (l.wakeFd >= 0) close(l.wakeFd);
  l.wakeFd = -1;
}

// Connects, subscribes and starts the thread; false with the last error set.
bool startLogind() {
  Logind& l = logind();
  int r = sd_bus_open_system(&l.bus);
  if (r >= 0) r = sd_bus_add_match(l.bus, &l.match, kPrepareForSleepMatch, onPrepareForSleep, nullptr);
  if (r >= 0) {
    l.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (l.wakeFd < 0) r = -errno;
  }
  if (r < 0) {
    closeBus(l);
    SetLastError(errorForBus(r));
    return false;
  }
  l.thread = std::thread(serveBus, l.bus, l.wakeFd);
  return true;
}

// Wakes and joins the thread, then closes the connection.
void stopLogind() {
  Logind& l = logind();
  if (l.thread.joinable()) {
    uint64_t one = 1;
    ssize_t written = write(l.wakeFd, &one, sizeof one);
    (void)written;  // an eventfd takes this write unless its counter is near overflow
    l.thread.join();
  }
  closeBus(l);
}

}  // namespace

const PowerSource logindPowerSource = {.name = "logind", .start = startLogind, .stop = stopLogind};

}  // namespace host
