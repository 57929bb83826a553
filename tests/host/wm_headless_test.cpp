// The headless backend seen through host control: the screen and window
// pixels, injected and scripted input, message boxes and the tray.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host/gdi/gdi_objects.h"
#include "tests/host/gdi_test_support.h"
#include "tests/host/wm_fixture.h"

namespace wmtest {
namespace {

uint32_t screenPixel(int x, int y) {
  host::Surface s = host::screenSnapshot();
  return s.row(y)[x];
}

// Paints the window's whole client area in one colour through BeginPaint.
void paintSolid(HWND window, COLORREF colour) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ previous = SelectObject(dc, brush);
  PatBlt(dc, 0, 0, paint.rcPaint.right, paint.rcPaint.bottom, PATCOPY);
  SelectObject(dc, previous);
  DeleteObject(brush);
  EndPaint(window, &paint);
}

using HeadlessScreen = HostTest;

TEST_F(HeadlessScreen, APaintedWindowShowsOnTheScreenAtItsPlace) {
  host::Surface before = host::screenSnapshot();
  HWND w = CreateWindowExW(0, u"WmTest", nullptr, WS_VISIBLE, 20, 30, 50, 40, nullptr, nullptr, nullptr, nullptr);
  paintSolid(w, RGB(255, 0, 0));
  EXPECT_EQ(screenPixel(20, 30), 0xFFFF0000u);
  EXPECT_EQ(screenPixel(69, 69), 0xFFFF0000u);
  EXPECT_EQ(screenPixel(70, 70), before.row(70)[70]);  // outside: untouched
  EXPECT_EQ(screenPixel(19, 30), before.row(30)[19]);
  EXPECT_NE(before.row(30)[20], 0xFFFF0000u);
  EXPECT_EQ(host::windowFrameCount(w), 1u);
  HDC dc = GetDC(w);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
  EXPECT_EQ(SelectObject(dc, bitmap), nullptr);  // only memory DCs take bitmaps
  ReleaseDC(w, dc);
  DeleteObject(bitmap);
  ShowWindow(w, SW_HIDE);
  EXPECT_EQ(screenPixel(20, 30), before.row(30)[20]);  // the desktop is back beneath
}

TEST_F(HeadlessScreen, TheDesktopDcSnapshotsTheScreenWithoutHiddenWindows) {
  uint32_t pixels[4] = {0x00112233u, 0xFF445566u, 0x80778899u, 0xFFAABBCCu};
  ASSERT_TRUE(host::setScreenPicture(pixels, 2, 2));
  HWND w = makeWindow();
  paintSolid(w, RGB(0, 0, 255));
  ShowWindow(w, SW_HIDE);
  HDC screen = GetDC(GetDesktopWindow());
  gdi_test::Canvas copy(2, 2);
  BitBlt(copy.dc, 0, 0, 2, 2, screen, 0, 0, SRCCOPY);
  ReleaseDC(GetDesktopWindow(), screen);
  // Made opaque.
  EXPECT_EQ(copy.surface().pixels, (std::vector<uint32_t>{0xFF112233u, 0xFF445566u, 0xFF778899u, 0xFFAABBCCu}));
}

TEST_F(HeadlessScreen, AScreenPictureFromPngBecomesTheScreen) {
  host::Surface source;
  source.reset(3, 2, 0);
  source.pixels = {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu, 0xFF0D0E0Fu, 0xFF101112u};
  std::string path = socketDirectory + "/screen.png";
  ASSERT_TRUE(host::writeSurfacePng(source, path.c_str()));
  ASSERT_TRUE(host::setScreenPictureFromPng(path.c_str()));
  int width = 0, height = 0;
  host::getScreenSize(&width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(3, 2));
  EXPECT_EQ(screenPixel(2, 1), 0xFF101112u);
  EXPECT_FALSE(host::setScreenPictureFromPng((socketDirectory + "/missing.png").c_str()));
}

TEST_F(HeadlessScreen, AScreenSizeChangeResizesFullScreenWindowsAndSendsWmSize) {
  HWND full = makeWindow();
  HWND small = CreateWindowExW(0, u"WmTest", nullptr, WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  UpdateWindow(full);
  host::injectScreenSize(320, 240);
  pumpUntil([] { return !receivedOf(WM_SIZE).empty(); });
  std::vector<Received> sizes = receivedOf(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].window, full);
  EXPECT_EQ(sizes[0].lParam, MAKELPARAM(320, 240));
  RECT r{}, s{};
  GetClientRect(full, &r);
  GetClientRect(small, &s);
  EXPECT_EQ(std::vector<LONG>({r.right, r.bottom, s.right}), std::vector<LONG>({320, 240, 10}));
  recorder().log.clear();
  UpdateWindow(full);  // invalidated by the change
  EXPECT_EQ(receivedOf(WM_PAINT).size(), 1u);
}

using HeadlessInput = HostTest;

TEST_F(HeadlessInput, ATapGoesToTheTopmostShownWindowUnderItInClientCoordinates) {
  HWND below = makeWindow();
  HWND above = CreateWindowExW(0, u"WmTest", nullptr, WS_VISIBLE, 100, 100, 50, 50, nullptr, nullptr, nullptr, nullptr);
  host::injectTap(110, 120);
  host::injectTap(10, 10);
  pumpUntil([] { return receivedOf(WM_LBUTTONUP).size() == 2; });
  std::vector<std::pair<HWND, LPARAM>> downs;
  for (const Received& r : receivedOf(WM_LBUTTONDOWN)) downs.push_back({r.window, r.lParam});
  EXPECT_EQ(downs, (std::vector<std::pair<HWND, LPARAM>>{{above, MAKELPARAM(10, 20)}, {below, MAKELPARAM(10, 10)}}));
}

// Forwards power records to the window, as the program's power watcher does,
// until it has forwarded a suspend.
DWORD powerRelay(LPVOID window) {
  MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, 4, 536, TRUE};
  HANDLE queue = CreateMsgQueue(nullptr, &o);
  HANDLE notifications = RequestPowerNotifications(queue, PBT_TRANSITION | PBT_RESUME);
  POWER_BROADCAST record{};
  while (record.Message != PBT_TRANSITION && WaitForSingleObject(queue, INFINITE) == WAIT_OBJECT_0) {
    uint8_t buffer[536];
    DWORD got = 0, flags = 0;
    while (ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags)) {
      std::memcpy(&record, buffer, sizeof record);
      PostMessageW(static_cast<HWND>(window), record.Message == PBT_RESUME ? WM_USER + 102 : WM_USER + 103, 0, 0);
    }
  }
  StopPowerNotifications(notifications);
  CloseMsgQueue(queue);
  return 0;
}

// A script's input, and its power events forwarded by a watcher thread, arrive
// at their virtual times, and before a timer due at the same time.
TEST_F(HeadlessInput, AScriptRunsAtItsVirtualTimesBeforeATimerDueThen) {
  HWND w = makeWindow();
  HANDLE thread = CreateThread(nullptr, 0, powerRelay, w, 0, nullptr);
  SetTimer(w, 1, 500, nullptr);
  std::string error;
  ASSERT_TRUE(host::addInputScript(
      " 1200:key:0x0D ; 500:tap:10:20;;2000:activate;3000:second:1;4000:close;500:resume;900:suspend ", &error))
      << error;
  EXPECT_EQ(host::pendingInputCount(), 7u);
  pumpUntil([] { return !receivedOf(WM_DESTROY).empty(); });
  const struct {
    UINT message;
    int64_t atMs;
  } expected[] = {{WM_LBUTTONDOWN, 500}, {WM_USER + 102, 500}, {WM_USER + 103, 900}, {WM_KEYDOWN, 1200},
                  {WM_ACTIVATE, 2000},   {WM_USER + 100, 3000}, {WM_CLOSE, 4000}};
  for (const auto& e : expected) {
    std::vector<Received> got = receivedOf(e.message);
    ASSERT_EQ(got.size(), 1u) << e.message;
    EXPECT_EQ(got[0].atMs, e.atMs) << e.message;
    EXPECT_EQ(got[0].window, w) << e.message;
  }
  EXPECT_EQ(receivedOf(WM_KEYDOWN)[0].wParam, WPARAM(VK_RETURN));
  EXPECT_EQ(receivedOf(WM_USER + 100)[0].wParam, 1u);
  std::vector<UINT> at500 = orderOf({WM_LBUTTONDOWN, WM_USER + 102, WM_TIMER});
  at500.resize(3);
  EXPECT_EQ(at500, (std::vector<UINT>{WM_LBUTTONDOWN, WM_USER + 102, WM_TIMER}));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
}

TEST_F(HeadlessInput, MalformedScriptsAreRefusedWhole) {
  const char* bad[] = {"500:tap:10", "x:close", "-5:close", "500:dance", "500:key:13:1", "500:size:0:10",
                       "500:close:1", "0x10:close", "500", "500:second:2"};
  for (const char* script : bad) {
    std::string error;
    std::string whole = std::string("100:close;") + script;
    EXPECT_FALSE(host::addInputScript(whole.c_str(), &error)) << script;
    EXPECT_NE(error.find(script), std::string::npos) << error;
  }
  EXPECT_EQ(host::pendingInputCount(), 0u);
  std::vector<host::ScheduledInput> entries;
  ASSERT_TRUE(host::parseInputScript("3500:size:320:240;2000:tray:1125;2500:resume;3000:suspend;2000:tray",
                                     &entries, nullptr));
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].input.kind, host::InputKind::TrayTap);
  EXPECT_TRUE(entries[0].input.hasId);
  EXPECT_EQ(entries[0].input.a, 1125);
  EXPECT_FALSE(entries[1].input.hasId);  // same time: kept in the given order
  EXPECT_EQ(entries[4].input.kind, host::InputKind::ScreenSize);
  EXPECT_EQ(entries[4].atMs, 3500);
}

using MessageBoxes = HostTest;

// An open box dispatches what is already queued, and timers keep firing behind it.
TEST_F(MessageBoxes, ABoxIsRecordedAndDispatchesWhatIsQueuedAndTimersBehindIt) {
  HWND w = makeWindow(0);
  PostMessageW(w, WM_USER + 3, 0, 0);
  SetTimer(w, 0x7FFF, 100, nullptr);
  host::setMessageBoxAnswerDelay(450);
  EXPECT_EQ(MessageBoxW(w, u"常駐を解除します", u"メッセージ", MB_OK | MB_ICONHAND), IDOK);
  EXPECT_EQ(receivedOf(WM_USER + 3).size(), 1u);
  EXPECT_EQ(host::clockNowMs(), 450);
  EXPECT_EQ(timesOf(WM_TIMER), (std::vector<int64_t>{100, 200, 300, 400}));
  std::vector<host::MessageBoxRecord> boxes = host::messageBoxesShown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, w);
  EXPECT_EQ(boxes[0].caption, u"メッセージ");
  EXPECT_EQ(boxes[0].text, u"常駐を解除します");
  EXPECT_EQ(boxes[0].style, UINT(MB_OK | MB_ICONHAND));
}

TEST_F(MessageBoxes, APendingQuitEndsTheBoxAndStaysForTheOuterLoop) {
  HWND w = makeWindow(0);
  host::setMessageBoxAnswerDelay(10000);
  PostQuitMessage(0);
  EXPECT_EQ(MessageBoxW(w, u"t", nullptr, MB_OK), IDOK);
  EXPECT_EQ(host::messageBoxesShown()[0].caption, u"Error");
  MSG m;
  EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), 0);
}

using Tray = HostTest;

// The icon resource is a 16-pixel picture; adding, changing and deleting it
// in the tray fail where there is nothing to change or it is there already.
TEST_F(Tray, TheIconAddModifyTapAndDeleteWithTheirFailures) {
  NOTIFYICONDATA data{};
  data.cbSize = sizeof data;
  data.hWnd = makeWindow(0);
  data.uID = 0x465;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = 0x465;
  data.hIcon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0));
  host::Icon* icon = host::lookup<host::Icon>(data.hIcon);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->picture.width, 16);
  EXPECT_EQ(icon->picture.row(8)[8] >> 24, 0xFFu);  // opaque in the middle
  EXPECT_EQ(icon->picture.row(0)[0], 0u);           // clear in the corner
  EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(102), IMAGE_ICON, 16, 16, 0), nullptr);
  EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, &data));  // nothing to delete yet
  EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
  EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, &data));
  std::vector<host::TrayIcon> icons = host::trayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].tip, u"");
  EXPECT_EQ(icons[0].icon, data.hIcon);
  data.uFlags = NIF_TIP;
  std::copy_n(u"hello", 6, data.szTip);
  EXPECT_TRUE(Shell_NotifyIcon(NIM_MODIFY, &data));
  EXPECT_EQ(host::trayIcons()[0].tip, u"hello");
  // A tap on the icon posts its callback message, down then up.
  ASSERT_TRUE(host::addInputScript("700:tray", nullptr));
  pumpUntil([] { return receivedOf(0x465).size() == 2; });
  std::vector<Received> taps = receivedOf(0x465);
  EXPECT_EQ(taps[0].wParam, 0x465u);
  EXPECT_EQ(taps[0].lParam, LPARAM(WM_LBUTTONDOWN));
  EXPECT_EQ(taps[1].lParam, LPARAM(WM_LBUTTONUP));
  EXPECT_EQ(taps[0].atMs, 700);
  EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
  EXPECT_TRUE(host::trayIcons().empty());
  EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, &data));
  EXPECT_TRUE(DestroyIcon(data.hIcon));
  EXPECT_FALSE(DestroyIcon(data.hIcon));
}

}  // namespace
}  // namespace wmtest
