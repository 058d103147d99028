// The shell: placement arithmetic, the painted backdrop and the start message,
// the progress bar, DLL search, and the exit code of the real installer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <thread>

#include "shell/shell.h"
#include "support/gui_driver.h"
#include "support/win_test_support.h"

namespace {

// The main frame's restored placement on screens of these sizes: two thirds of
// the screen, centred.
struct PlacementCase {
  int screenWidth, screenHeight, x, y, width, height;
};
constexpr PlacementCase kPlacements[] = {
    {1024, 768, 171, 128, 682, 512},
    {1366, 768, 228, 128, 910, 512},
    {1920, 1080, 320, 180, 1280, 720},
    {1, 1, 0, 0, 0, 0},  // degenerate, but no negative size
};

TEST(ShellPlacement, FrameIsTwoThirdsOfTheScreenAndCentred) {
  for (const PlacementCase& c : kPlacements) {
    SCOPED_TRACE(testing::Message() << c.screenWidth << "x" << c.screenHeight);
    const FramePlacement p = ComputeFramePlacement(c.screenWidth, c.screenHeight);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
  }
}

TEST(ShellProgressBar, GeometryFollowsTheClientArea) {
  const ProgressBar half = ComputeProgressBar(1000, 700, 50);
  EXPECT_EQ(half.left, 250);
  EXPECT_EQ(half.right, 750);
  EXPECT_EQ(half.bottom, 525);
  EXPECT_EQ(half.top, 511);
  EXPECT_EQ(half.boundary, 500);
  EXPECT_EQ(ComputeProgressBar(1000, 700, 0).boundary, 250);
  EXPECT_EQ(ComputeProgressBar(1000, 700, 100).boundary, 750);
  // The product is taken before the division: 501 * 33 / 100 = 165, not 501 / 100 * 33.
  EXPECT_EQ(ComputeProgressBar(1003, 700, 33).boundary, 250 + 165);
}

// Windows of the installer created in this test process. The window procedure
// ends the process on WM_DESTROY, so these tests never destroy them.
class ShellWindows : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateInstallerWindows(GetModuleHandleA(nullptr), CountStart)); }

  // Stands in for the installation that the start message sets going.
  static void CountStart() { ++g_starts; }
  static inline int g_starts = 0;

  // Dispatches what is waiting, except start messages, which are counted.
  int PumpCountingStartMessages() {
    int starts = 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.hwnd == g_backdrop && message.message == kStartMessage && message.wParam == 1) {
        ++starts;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    return starts;
  }

  int StartMessagesWaiting() {
    int count = 0;
    MSG message;
    while (PeekMessageA(&message, g_backdrop, kStartMessage, kStartMessage, PM_REMOVE)) ++count;
    return count;
  }

  COLORREF PixelAt(int x, int y) {
    HDC dc = GetDC(g_backdrop);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(g_backdrop, dc);
    return colour;
  }
};

TEST_F(ShellWindows, FrameIsMaximisedAndTheBackdropCoversItsClientArea) {
  EXPECT_EQ(pewtest::ClassName(g_mainFrame), "WFL_Installer_MainWindow");
  EXPECT_EQ(pewtest::WindowText(g_mainFrame), "Pewsterline Installer");
  EXPECT_EQ(pewtest::WindowText(g_backdrop), "Pewsterline Installer");
  EXPECT_TRUE(IsZoomed(g_mainFrame));
  EXPECT_EQ(GetParent(g_backdrop), g_mainFrame);
  EXPECT_EQ(GetWindowLongA(g_backdrop, GWL_STYLE) & (WS_CHILD | WS_BORDER), WS_CHILD | WS_BORDER);
  EXPECT_TRUE(IsWindowVisible(g_backdrop));

  // Shown maximised, the backdrop's border lies just outside the frame's client
  // area and its own client area is exactly the frame's.
  RECT frameClient, backdropClient;
  GetClientRect(g_mainFrame, &frameClient);
  GetClientRect(g_backdrop, &backdropClient);
  MapWindowPoints(g_backdrop, g_mainFrame, reinterpret_cast<POINT*>(&backdropClient), 2);
  EXPECT_EQ(backdropClient.left, 0);
  EXPECT_EQ(backdropClient.top, 0);
  EXPECT_EQ(backdropClient.right, frameClient.right);
  EXPECT_EQ(backdropClient.bottom, frameClient.bottom);
  EXPECT_TRUE(IsZoomed(g_backdrop));

  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  GetWindowPlacement(g_mainFrame, &placement);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const auto expected = std::find_if(std::begin(kPlacements), std::end(kPlacements), [&](const PlacementCase& c) {
    return c.screenWidth == screenWidth && c.screenHeight == screenHeight;
  });
  ASSERT_NE(expected, std::end(kPlacements)) << "no placement written down for " << screenWidth << "x" << screenHeight;
  EXPECT_EQ(placement.rcNormalPosition.left, expected->x);
  EXPECT_EQ(placement.rcNormalPosition.top, expected->y);
  EXPECT_EQ(placement.rcNormalPosition.right - placement.rcNormalPosition.left, expected->width);
  EXPECT_EQ(placement.rcNormalPosition.bottom - placement.rcNormalPosition.top, expected->height);
  EXPECT_NE(GetClassLongPtrA(g_mainFrame, GCLP_HICON), 0) << "icon 102 not loaded";
}

TEST_F(ShellWindows, StartMessageIsPostedOnceAndOnlyAfterTheBackdropsFirstPaint) {
  // Nothing painted yet: nothing posted.
  EXPECT_EQ(StartMessagesWaiting(), 0);
  // A paint of the main frame posts nothing.
  RedrawWindow(g_mainFrame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
  EXPECT_EQ(StartMessagesWaiting(), 0);
  // The backdrop's first paint posts exactly one.
  UpdateWindow(g_backdrop);
  EXPECT_EQ(StartMessagesWaiting(), 1);
  // Later paints post nothing more.
  for (int i = 0; i < 3; ++i) {
    RedrawWindow(g_backdrop, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(PumpCountingStartMessages(), 0);
  }
}

TEST_F(ShellWindows, BackdropIsBlueInsideAOnePixelBlackFrame) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  RECT client;
  GetClientRect(g_backdrop, &client);
  const int r = client.right, b = client.bottom;
  ASSERT_GT(r, 10);
  ASSERT_GT(b, 10);
  // Paint again after a partial invalidation: the fill still reaches every edge.
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    const POINT frame[] = {{0, 0}, {r / 2, 0}, {r - 1, b / 2}, {r / 2, b - 1}, {0, b - 1}, {r - 1, b - 1}};
    for (const POINT& p : frame) EXPECT_EQ(PixelAt(p.x, p.y), RGB(0, 0, 0)) << p.x << "," << p.y;
    const POINT inside[] = {{1, 1}, {r / 2, b / 2}, {r - 2, b - 2}, {1, b - 2}};
    for (const POINT& p : inside) EXPECT_EQ(PixelAt(p.x, p.y), RGB(96, 144, 208)) << p.x << "," << p.y;
    RECT part = {0, 0, r / 3, b / 3};
    RedrawWindow(g_backdrop, &part, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
}

TEST_F(ShellWindows, ProgressBarIsDrawnAtOnceAndGoneAtTheNextPaint) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  RECT client;
  GetClientRect(g_backdrop, &client);
  const ProgressBar bar = ComputeProgressBar(client.right, client.bottom, 40);
  const int middle = (bar.top + bar.bottom) / 2;

  ShowProgress(40);  // no message loop in between
  EXPECT_EQ(PixelAt(bar.left, middle), RGB(0, 0, 0));
  EXPECT_EQ(PixelAt(bar.left + 2, middle), RGB(32, 48, 69));
  EXPECT_EQ(PixelAt(bar.boundary - 2, middle), RGB(32, 48, 69));
  EXPECT_EQ(PixelAt(bar.boundary + 2, middle), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(bar.right - 2, middle), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(bar.left - 2, middle), RGB(96, 144, 208));

  RedrawWindow(g_backdrop, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(PixelAt(bar.left + 2, middle), RGB(96, 144, 208));
  EXPECT_EQ(PixelAt(bar.right - 2, middle), RGB(96, 144, 208));
}

TEST_F(ShellWindows, BarRequestedWhileMinimisedIsDrawnOverTheBlueWhenRestored) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  ShowWindow(g_mainFrame, SW_MINIMIZE);
  ShowProgress(40);
  ShowWindow(g_mainFrame, SW_SHOWMAXIMIZED);
  UpdateWindow(g_backdrop);
  RECT client;
  GetClientRect(g_backdrop, &client);
  const ProgressBar bar = ComputeProgressBar(client.right, client.bottom, 40);
  EXPECT_EQ(PixelAt(client.right / 2, client.bottom / 4), RGB(96, 144, 208));
  EXPECT_EQ(PixelAt(bar.left - 2, (bar.top + bar.bottom) / 2), RGB(96, 144, 208));
}

// The backdrop's window procedure, counting the WM_COMMANDs it is given.
int g_commandsDispatched = 0;
WNDPROC g_backdropProcedure = nullptr;
LRESULT CALLBACK CountingCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) ++g_commandsDispatched;
  return CallWindowProcA(g_backdropProcedure, window, message, wParam, lParam);
}

// The pump's first peek takes only the backdrop's messages and drops a
// WM_COMMAND; the three peeks after it dispatch one.
TEST_F(ShellWindows, PumpDropsTheBackdropsFirstCommandAndDispatchesTheNext) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  g_backdropProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(g_backdrop, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingCommands)));
  PostMessageA(g_backdrop, WM_COMMAND, 1, 0);
  PostMessageA(g_backdrop, WM_COMMAND, 2, 0);
  PumpMessages();
  EXPECT_EQ(g_commandsDispatched, 1);
}

TEST_F(ShellWindows, UserMessagesOtherThanTheStartMessageAreIgnored) {
  EXPECT_EQ(SendMessageA(g_backdrop, WM_USER, 0, 0), 0);
  EXPECT_EQ(SendMessageA(g_backdrop, WM_USER, 2, 0), 0);
  EXPECT_EQ(SendMessageA(g_mainFrame, WM_USER, 2, 0), 0);
  EXPECT_EQ(g_starts, 0);
  // The start message itself sets the installation going.
  EXPECT_EQ(SendMessageA(g_backdrop, WM_USER, 1, 0), 0);
  EXPECT_EQ(g_starts, 1);
  EXPECT_TRUE(IsWindow(g_backdrop));
}

TEST_F(ShellWindows, EraseBackgroundIsSwallowed) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  HDC dc = GetDC(g_backdrop);
  EXPECT_EQ(SendMessageA(g_backdrop, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
  ReleaseDC(g_backdrop, dc);
  // The class's white brush was not applied.
  EXPECT_EQ(PixelAt(5, 5), RGB(96, 144, 208));
}

// The frame is the window that the system asks; the answer and the exit code
// follow the run's phase alone.
TEST_F(ShellWindows, TheFrameAsksTheSessionToWaitOnlyWhileWriting) {
  const struct {
    RunPhase phase;
    LRESULT answer;
    UINT code;
  } cases[] = {
      {RunPhase::kChoosing, TRUE, 1602}, {RunPhase::kWriting, FALSE, 1603}, {RunPhase::kWriting, FALSE, 1603},
      {RunPhase::kInstalled, TRUE, 0},   {RunPhase::kFailed, TRUE, 1603},   {RunPhase::kRefused, TRUE, 1618},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.phase));
    SetRunPhase(c.phase);
    EXPECT_EQ(SendMessageA(g_mainFrame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), c.answer);
    EXPECT_EQ(SendMessageA(g_mainFrame, WM_QUERYENDSESSION, 0, 0), c.answer);  // shutdown
    EXPECT_EQ(ExitCodeOf(c.phase), c.code);
  }
}

// Between the payload groups the installer answers what other threads send
// (the system's question whether the session may end), and takes nothing
// posted, which could close a window or start a paint in the middle.
TEST_F(ShellWindows, AnsweringSentMessagesDispatchesNothingPosted) {
  EXPECT_EQ(PumpCountingStartMessages(), 1);
  g_backdropProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(g_backdrop, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingCommands)));
  PostMessageA(g_backdrop, WM_COMMAND, 1, 0);
  SetRunPhase(RunPhase::kWriting);
  std::atomic<int> answer = -1;
  std::thread system([&] {
    DWORD_PTR result = 2;
    if (SendMessageTimeoutA(g_mainFrame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                            pewtest::WaitLimit(), &result)) {
      answer = static_cast<int>(result);
    }
  });
  EXPECT_TRUE(pewtest::WaitUntil([] { return HIWORD(GetQueueStatus(QS_SENDMESSAGE)) != 0; }, pewtest::WaitLimit()));
  AnswerSentMessages();
  system.join();
  SetRunPhase(RunPhase::kChoosing);
  EXPECT_EQ(answer, FALSE);
  EXPECT_EQ(g_commandsDispatched, 0);
  MSG message;
  EXPECT_TRUE(PeekMessageA(&message, g_backdrop, WM_COMMAND, WM_COMMAND, PM_NOREMOVE)) << "the posted command is gone";
}

// The session's end reaches the frame, or in a run without one (a refused
// installer) the message box through the hook: the process ends there with
// the exit code of the phase. A session that goes on (wParam FALSE) changes nothing.
TEST(ShellProcess, TheSessionsEndEndsTheProcessWithTheCodeOfThePhase) {
  for (const bool frame : {true, false}) {
    SCOPED_TRACE(frame ? "the frame" : "a box, through the hook");
    EXPECT_EXIT(
        {
          HWND any = nullptr;
          if (frame && CreateInstallerWindows(GetModuleHandleA(nullptr))) any = g_mainFrame;
          if (!frame) {
            EndWithTheSession();
            any = CreateWindowExA(0, "STATIC", "a message box", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                  nullptr);
          }
          SetRunPhase(RunPhase::kFailed);
          SendMessageA(any, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
          SetRunPhase(RunPhase::kRefused);
          SendMessageA(any, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
          ExitProcess(7);
        },
        testing::ExitedWithCode(1618), "");
  }
}

TEST(ShellDllSearch, ADllPlantedBesideTheProgramIsNotLoaded) {
  // Loads from the program's folder before the restriction, and not after it.
  HMODULE before = LoadLibraryA("pew_planted.dll");
  ASSERT_NE(before, nullptr) << "the planted DLL should be found in the program's folder";
  FreeLibrary(before);
  RestrictDllSearchToSystemFolder();
  HMODULE after = LoadLibraryA("pew_planted.dll");
  EXPECT_EQ(after, nullptr);
  if (after != nullptr) FreeLibrary(after);
  // System DLLs still load.
  HMODULE system = LoadLibraryA("version.dll");
  EXPECT_NE(system, nullptr);
  if (system != nullptr) FreeLibrary(system);
}

TEST(ShellProcess, ClosingTheMainFrameEndsTheInstallerAsCancelled) {
  pewtest::ChildProcess installer;
  ASSERT_TRUE(installer.Start(pewtest::InstallerPath())) << pewtest::InstallerPath();
  HWND frame = pewtest::WaitForWindow("WFL_Installer_MainWindow", "Pewsterline Installer",
                                      installer.Id(), pewtest::WaitLimit(), false);
  if (frame != nullptr) PostMessageA(frame, WM_CLOSE, 0, 0);
  const auto code = installer.WaitForExit(pewtest::WaitLimit());
  ASSERT_TRUE(code.has_value()) << "the installer did not end";
  EXPECT_EQ(*code, 1602u);
}

}  // namespace
