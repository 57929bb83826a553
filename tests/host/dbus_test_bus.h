// A private message bus for tests: a dbus-daemon of its own with a policy that
// allows everything, started in a scratch directory and killed by its process
// id; and peers on it: one may own logind's name and emit its signal, another
// be the session's status notifier watcher.
#pragma once

#include <sys/eventfd.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tests/support/test_files.h"

namespace dbustest {

// Asks until the condition holds or the generous bound (real time) passes.
inline bool eventually(const std::function<bool()>& condition, int boundMs = 20000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct PrivateBus {
  std::string dir;
  std::string address;
  pid_t pid = -1;

  // Starts the daemon and waits for the address it prints; false on failure.
  bool start() {
    if (dir.empty()) dir = test_files::scratchDir("tessaril-bus");
    if (dir.empty()) return false;
    unlink((dir + "/bus").c_str());  // what an earlier daemon of this bus left
    std::ofstream(dir + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <listen>unix:path="
        << dir
        << "/bus</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow send_type=\"signal\"/>\n"
           "    <allow receive_type=\"signal\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
    int out[2];
    if (pipe(out) != 0) return false;
    // What the child needs is made before the fork: after it, only exec.
    std::string config = "--config-file=" + dir + "/bus.conf";
    std::string print = "--print-address=" + std::to_string(out[1]);
    pid = fork();
    if (pid == 0) {
      close(out[0]);
      execlp("dbus-daemon", "dbus-daemon", config.c_str(), "--nofork", "--nopidfile", print.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // The daemon writes its address line in one piece once it listens, or
    // exits; without a daemon (no fork) the pipe ends at once.
    pollfd ready{out[0], POLLIN, 0};
    char line[512] = "";
    ssize_t n = poll(&ready, 1, 20000) > 0 ? read(out[0], line, sizeof line - 1) : -1;
    close(out[0]);
    char* end = n > 0 ? strchr(line, '\n') : nullptr;
    if (end == nullptr) return false;
    address.assign(line, end);
    return true;
  }

  // Kills the daemon by its process id and waits for it.
  void stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }

  ~PrivateBus() {
    stop();
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
  }
};

// A client connection to the bus at address; null on failure.
inline sd_bus* connect(const std::string& address) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
    sd_bus_unref(bus);
    return nullptr;
  }
  return bus;
}

// Emits PrepareForSleep(sleeping) from the connection and flushes it.
inline bool emitPrepareForSleep(sd_bus* bus, bool sleeping) {
  return sd_bus_emit_signal(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                            int(sleeping)) >= 0 &&
         sd_bus_flush(bus) >= 0;
}

// How many connections the bus has (their unique names); -1 on failure.
inline int connectionCount(sd_bus* bus) {
  char** names = nullptr;
  if (sd_bus_list_names(bus, &names, nullptr) < 0) return -1;
  int count = 0;
  for (char** name = names; name != nullptr && *name != nullptr; free(*name++)) count += (*name)[0] == ':';
  free(names);
  return count;
}

// A round trip to the bus itself: everything the connection sent before has
// been routed once it returns.
inline bool roundTrip(sd_bus* bus) { return connectionCount(bus) >= 0; }

// A connection that owns org.freedesktop.login1, as logind's would.
inline sd_bus* connectAsLogind(const std::string& address) {
  sd_bus* bus = connect(address);
  if (bus != nullptr && sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) bus = sd_bus_flush_close_unref(bus);
  return bus;
}

// Owns org.kde.StatusNotifierWatcher on its own connection and thread, takes
// every RegisterStatusNotifierItem, and forgets an item whose name leaves the
// bus, as a panel's watcher does.
class Watcher {
 public:
  bool start(const std::string& address) {
    bus_ = dbustest::connect(address);
    if (bus_ == nullptr) return false;
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (sd_bus_add_object_vtable(bus_, nullptr, "/StatusNotifierWatcher", kName, kVtable, this) < 0 ||
        sd_bus_match_signal(bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                            "NameOwnerChanged", onOwnerChanged, this) < 0 ||
        sd_bus_request_name(bus_, kName, 0) < 0) {
      stop();
      return false;
    }
    thread_ = std::thread([this] { serve(); });
    return true;
  }

  // Closes the connection: the watcher's name leaves the bus.
  void stop() {
    if (thread_.joinable()) {
      uint64_t one = 1;
      EXPECT_EQ(write(stopFd_, &one, sizeof one), ssize_t(sizeof one));
      thread_.join();
    }
    bus_ = sd_bus_flush_close_unref(bus_);
    if (stopFd_ >= 0) close(stopFd_);
    stopFd_ = -1;
  }

  ~Watcher() { stop(); }

  std::set<std::string> items() {
    std::lock_guard<std::mutex> guard(lock_);
    return items_;
  }
  int registrations() {
    std::lock_guard<std::mutex> guard(lock_);
    return registrations_;
  }
  // The one item the watcher has, or "" when it has none or several.
  std::string onlyItem() {
    std::set<std::string> all = items();
    return all.size() == 1 ? *all.begin() : std::string();
  }

 private:
  static constexpr const char* kName = "org.kde.StatusNotifierWatcher";
  static const sd_bus_vtable kVtable[];
  sd_bus* bus_ = nullptr;
  int stopFd_ = -1;
  std::thread thread_;
  std::mutex lock_;
  std::set<std::string> items_;
  int registrations_ = 0;

  void serve() {
    for (;;) {
      while (sd_bus_process(bus_, nullptr) > 0) {
      }
      pollfd fds[2] = {{sd_bus_get_fd(bus_), short(sd_bus_get_events(bus_)), 0}, {stopFd_, POLLIN, 0}};
      if (poll(fds, 2, 1000) < 0 || fds[1].revents != 0) return;
    }
  }

  static int onRegister(sd_bus_message* call, void* userdata, sd_bus_error*) {
    auto* w = static_cast<Watcher*>(userdata);
    const char* service = nullptr;
    if (sd_bus_message_read(call, "s", &service) < 0) return -EINVAL;
    {
      std::lock_guard<std::mutex> guard(w->lock_);
      w->items_.insert(service);
      ++w->registrations_;
    }
    return sd_bus_reply_method_return(call, "");
  }

  static int onOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*) {
    auto* w = static_cast<Watcher*>(userdata);
    const char *name = nullptr, *from = nullptr, *to = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &from, &to) >= 0 && to[0] == 0) {
      std::lock_guard<std::mutex> guard(w->lock_);
      w->items_.erase(name);
    }
    return 0;
  }
};

inline const sd_bus_vtable Watcher::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", onRegister, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace dbustest
