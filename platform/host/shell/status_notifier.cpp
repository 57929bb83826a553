// The tray icon as a StatusNotifierItem: one session-bus connection per icon
// of the host's tray, named org.kde.StatusNotifierItem-<pid>-<n>, exporting
// the item at /StatusNotifierItem.
//
// An icon is shown on the bus (`onBus`) while a StatusNotifierWatcher has it,
// and by the backend's own tray otherwise. The connection lives as long as
// the icon and follows the watcher's name: a watcher that appears later or
// restarts gets the item registered again (and the backend's icon goes); a
// watcher that goes away, or refuses the item, hands the icon back to the
// backend. With no session bus, or TESSARIL_TRAY=xembed, the backend shows
// every icon. Activate(x, y) posts the icon's callback message with
// WM_LBUTTONDOWN and then WM_LBUTTONUP, as a tap on the icon does. Leaving the
// tray (NIM_DELETE) closes the connection: its names go, which is how a
// watcher learns that an item is gone.
#include "platform/host/shell/status_notifier.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/shell.h"

namespace host {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherOwnerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.kde.StatusNotifierWatcher'";
// The blocking calls of NIM_ADD (taking the name, asking for the watcher) wait
// no longer than this on a bus that does not answer.
constexpr uint64_t kCallTimeoutUs = 2000000;
// The pixmap sizes the item offers; hosts pick the one that suits their panel.
constexpr int kPixmapSides[] = {16, 32};
// Messages handled per connection per round of the loop, so a flood cannot
// hold the user-interface thread.
constexpr int kMessagesPerRound = 256;

struct BusItem {
  TrayIcon icon;
  std::string name;
  sd_bus* bus = nullptr;
  sd_bus_slot* object = nullptr;
  sd_bus_slot* watcherMatch = nullptr;
  sd_bus_slot* registerCall = nullptr;
  bool onBus = false;  // a watcher has the item: the backend shows nothing
  // The unique bus name of the watcher the item was last given to ("" while
  // none runs): a watcher's appearance that comes after the item was already
  // given to it (the signal was queued during the start's own check) is no
  // reason to register again.
  std::string watcherOwner;
};

struct Notifier {
  std::vector<std::unique_ptr<BusItem>> items;  // the slots' userdata: records never move
  unsigned nextNumber = 1;
};

Notifier& notifier() {
  static Notifier* instance = new Notifier;
  return *instance;
}

BusItem* findItem(HWND window, UINT id) {
  for (auto& item : notifier().items) {
    if (item->icon.window == window && item->icon.id == id) return item.get();
  }
  return nullptr;
}

bool busTrayDisabled() {
  const char* choice = std::getenv("TESSARIL_TRAY");
  return choice != nullptr && std::strcmp(choice, "xembed") == 0;
}

// ---- moving an icon between the bus and the backend ----

void handToBackend(BusItem* item) {
  if (!item->onBus) return;
  item->onBus = false;
  backend().trayChanged(item->icon, NIM_ADD);
}

void takeFromBackend(BusItem* item) {
  if (item->onBus) return;
  item->onBus = true;
  backend().trayChanged(item->icon, NIM_DELETE);
}

// ---- the exported item ----

// The icon's picture at side x side (nearest pixel) as the item's pixmap
// format wants it: ARGB32 with straight alpha, each pixel big-endian.
std::vector<uint8_t> pixmapBytes(const Surface& picture, int side) {
  std::vector<uint8_t> bytes(size_t(side) * size_t(side) * 4, 0);
  if (picture.width < 1 || picture.height < 1) return bytes;
  uint8_t* out = bytes.data();
  for (int y = 0; y < side; ++y) {
    const uint32_t* row = picture.row(y * picture.height / side);
    for (int x = 0; x < side; ++x, out += 4) {
      uint32_t p = row[x * picture.width / side], a = p >> 24;
      if (a == 0) continue;
      out[0] = uint8_t(a);
      out[1] = uint8_t(std::min<uint32_t>(255, ((p >> 16) & 0xFF) * 255 / a));
      out[2] = uint8_t(std::min<uint32_t>(255, ((p >> 8) & 0xFF) * 255 / a));
      out[3] = uint8_t(std::min<uint32_t>(255, (p & 0xFF) * 255 / a));
    }
  }
  return bytes;
}

// Appends an a(iiay): the record's icon at each offered size, or nothing.
int appendPixmaps(sd_bus_message* reply, HICON handle) {
  int r = sd_bus_message_open_container(reply, 'a', "(iiay)");
  Icon* icon = lookup<Icon>(handle);
  for (int side : kPixmapSides) {
    if (icon == nullptr || r < 0) break;
    std::vector<uint8_t> bytes = pixmapBytes(icon->picture, side);
    r = sd_bus_message_open_container(reply, 'r', "iiay");
    if (r >= 0) r = sd_bus_message_append(reply, "ii", side, side);
    if (r >= 0) r = sd_bus_message_append_array(reply, 'y', bytes.data(), bytes.size());
    if (r >= 0) r = sd_bus_message_close_container(reply);
  }
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

struct FixedString {
  const char* property;
  const char* value;
};
constexpr FixedString kFixedStrings[] = {
    {"Category", "ApplicationStatus"}, {"Id", "Tessaril"},        {"Title", "Tessaril"},
    {"Status", "Active"},              {"IconName", ""},          {"OverlayIconName", ""},
    {"AttentionIconName", ""},         {"AttentionMovieName", ""},
};

int getFixedString(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                   sd_bus_error*) {
  for (const FixedString& s : kFixedStrings) {
    if (std::strcmp(s.property, property) == 0) return sd_bus_message_append(reply, "s", s.value);
  }
  return -ENOENT;
}

int getWindowId(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return sd_bus_message_append(reply, "i", 0);
}

int getItemIsMenu(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return sd_bus_message_append(reply, "b", 0);
}

int getIconPixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                  sd_bus_error*) {
  return appendPixmaps(reply, static_cast<BusItem*>(userdata)->icon.icon);
}

// Overlay and attention pictures: the item has none.
int getNoPixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return appendPixmaps(reply, nullptr);
}

// (icon name, pixmaps, title, text): the record's tip as the title, empty when
// it has none.
int getToolTip(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
               sd_bus_error*) {
  BusItem* item = static_cast<BusItem*>(userdata);
  std::string tip = utf16ToUtf8(reinterpret_cast<const WCHAR*>(item->icon.tip.data()), item->icon.tip.size());
  int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
  if (r >= 0) r = sd_bus_message_append(reply, "s", "");
  if (r >= 0) r = appendPixmaps(reply, nullptr);
  if (r >= 0) r = sd_bus_message_append(reply, "ss", tip.c_str(), "");
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

// A click on the item: the callback message a tap on the tray icon posts.
int onActivate(sd_bus_message* call, void* userdata, sd_bus_error*) {
  const TrayIcon& icon = static_cast<BusItem*>(userdata)->icon;
  if (icon.flags & NIF_MESSAGE) {
    postToQueue(icon.window, icon.callbackMessage, icon.id, WM_LBUTTONDOWN);
    postToQueue(icon.window, icon.callbackMessage, icon.id, WM_LBUTTONUP);
  }
  return sd_bus_reply_method_return(call, "");
}

// The other gestures (middle click, menu, wheel) do nothing, as on the device.
int onIgnoredGesture(sd_bus_message* call, void*, sd_bus_error*) { return sd_bus_reply_method_return(call, ""); }

const sd_bus_vtable kItemVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("WindowId", "i", getWindowId, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", getIconPixmap, 0, 0),
    SD_BUS_PROPERTY("OverlayIconName", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", getNoPixmap, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconName", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", getNoPixmap, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionMovieName", "s", getFixedString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", getToolTip, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", getItemIsMenu, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Activate", "ii", "", onActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", onIgnoredGesture, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ContextMenu", "ii", "", onIgnoredGesture, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Scroll", "is", "", onIgnoredGesture, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

// ---- the watcher ----

int onRegistered(sd_bus_message* reply, void* userdata, sd_bus_error*) {
  BusItem* item = static_cast<BusItem*>(userdata);
  item->registerCall = sd_bus_slot_unref(item->registerCall);
  if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
    std::fprintf(stderr, "tessaril: the status notifier watcher did not take the tray icon (%s)\n",
                 error->message != nullptr ? error->message : error->name);
    handToBackend(item);
    return 0;
  }
  takeFromBackend(item);
  return 0;
}

// Asks the watcher to show the item; the answer comes to onRegistered.
void registerWithWatcher(BusItem* item) {
  item->registerCall = sd_bus_slot_unref(item->registerCall);
  int r = sd_bus_call_method_async(item->bus, &item->registerCall, kWatcherName, kWatcherPath, kWatcherName,
                                   "RegisterStatusNotifierItem", onRegistered, item, "s", item->name.c_str());
  if (r < 0) handToBackend(item);
}

// The watcher's name changed hands: a new owner (a watcher started or
// restarted) gets the item; no owner means the watcher is gone.
int onWatcherOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*) {
  BusItem* item = static_cast<BusItem*>(userdata);
  const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
  if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  if (newOwner[0] == 0) {
    item->watcherOwner.clear();
    handToBackend(item);
  } else if (item->watcherOwner != newOwner) {
    item->watcherOwner = newOwner;
    registerWithWatcher(item);
  }
  return 0;
}

// The unique name of the running watcher, "" when none runs.
std::string watcherOwnerOn(sd_bus* bus) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const char* owner = nullptr;
  std::string found;
  if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetNameOwner", &error, &reply, "s", kWatcherName) >= 0 &&
      sd_bus_message_read(reply, "s", &owner) >= 0 && owner != nullptr) {
    found = owner;
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return found;
}

// ---- connections ----

// Releases the item's connection; its names leave the bus with it.
void closeItem(BusItem* item) {
  item->registerCall = sd_bus_slot_unref(item->registerCall);
  item->watcherMatch = sd_bus_slot_unref(item->watcherMatch);
  item->object = sd_bus_slot_unref(item->object);
  item->bus = sd_bus_flush_close_unref(item->bus);
}

// Connects, exports the item under its name and follows the watcher's name
// (from before asking for the watcher, so no appearance is missed); false
// when there is no session bus to use.
bool openItem(BusItem* item) {
  int r = sd_bus_open_user(&item->bus);
  if (r >= 0) r = sd_bus_set_method_call_timeout(item->bus, kCallTimeoutUs);
  if (r >= 0) r = sd_bus_add_object_vtable(item->bus, &item->object, kItemPath, kItemInterface, kItemVtable, item);
  if (r >= 0) r = sd_bus_request_name(item->bus, item->name.c_str(), 0);
  if (r >= 0) r = sd_bus_add_match(item->bus, &item->watcherMatch, kWatcherOwnerMatch, onWatcherOwnerChanged, item);
  if (r < 0) closeItem(item);
  return r >= 0;
}

void addItem(const TrayIcon& icon) {
  Notifier& n = notifier();
  auto item = std::make_unique<BusItem>();
  item->icon = icon;
  item->name = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(n.nextNumber++);
  if (!openItem(item.get())) {
    backend().trayChanged(icon, NIM_ADD);  // no session bus: the backend's tray alone
    return;
  }
  item->watcherOwner = watcherOwnerOn(item->bus);
  item->onBus = !item->watcherOwner.empty();
  if (item->onBus) {
    registerWithWatcher(item.get());
  } else {
    backend().trayChanged(icon, NIM_ADD);
  }
  n.items.push_back(std::move(item));
}

void removeItem(BusItem* item) {
  if (!item->onBus) backend().trayChanged(item->icon, NIM_DELETE);
  closeItem(item);
  auto& items = notifier().items;
  items.erase(std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.get() == item; }));
}

void modifyItem(BusItem* item, const TrayIcon& icon) {
  item->icon = icon;
  if (!item->onBus) {
    backend().trayChanged(icon, NIM_MODIFY);
    return;
  }
  sd_bus_emit_signal(item->bus, kItemPath, kItemInterface, "NewIcon", "");
  sd_bus_emit_signal(item->bus, kItemPath, kItemInterface, "NewToolTip", "");
}

}  // namespace

void showTrayChange(const TrayIcon& icon, DWORD operation) {
  BusItem* item = findItem(icon.window, icon.id);
  if (operation == NIM_ADD && item == nullptr && !busTrayDisabled()) {
    addItem(icon);
  } else if (item == nullptr) {
    backend().trayChanged(icon, operation);
  } else if (operation == NIM_MODIFY) {
    modifyItem(item, icon);
  } else if (operation == NIM_DELETE) {
    removeItem(item);
  }
}

void addStatusNotifierPollFds(std::vector<pollfd>* fds, int64_t* realDeadlineMs) {
  for (auto& item : notifier().items) {
    if (item->bus == nullptr) continue;
    int fd = sd_bus_get_fd(item->bus), events = sd_bus_get_events(item->bus);
    if (fd < 0 || events < 0) continue;
    fds->push_back(pollfd{fd, short(events), 0});
    uint64_t untilUs = 0;
    if (sd_bus_get_timeout(item->bus, &untilUs) > 0 && untilUs != UINT64_MAX) {
      *realDeadlineMs = std::min<int64_t>(*realDeadlineMs, int64_t((untilUs + 999) / 1000));
    }
  }
}

void serviceStatusNotifier() {
  auto& items = notifier().items;
  for (size_t i = 0; i < items.size(); ++i) {
    BusItem* item = items[i].get();
    if (item->bus == nullptr) continue;
    int r = 1;
    for (int handled = 0; r > 0 && handled < kMessagesPerRound; ++handled) r = sd_bus_process(item->bus, nullptr);
    if (r < 0) {
      // The session bus went away: the backend shows the icon from now on.
      handToBackend(item);
      closeItem(item);
    }
  }
}

void resetStatusNotifier() {
  for (auto& item : notifier().items) closeItem(item.get());
  notifier().items.clear();
}

}  // namespace host
