// Painting: the blue backdrop with its black frame, the progress bar, and the
// start message posted after the backdrop's first paint.
#include "shell/shell.h"

namespace {

// Created at the first paint of either window and kept until the process ends.
HBRUSH g_backgroundBrush = nullptr;
HBRUSH g_progressDoneBrush = nullptr;
HBRUSH g_progressToDoBrush = nullptr;
bool g_firstPaintDone = false;
bool g_startPosted = false;

bool g_drawProgress = false;
int g_progressPercent = 0;

void FillRectangle(HDC dc, HBRUSH brush, int left, int top, int right, int bottom) {
  HGDIOBJ previous = SelectObject(dc, brush);
  // The device context's default pen draws the 1-pixel black frame.
  Rectangle(dc, left, top, right, bottom);
  SelectObject(dc, previous);
}

}  // namespace

ProgressBar ComputeProgressBar(int clientWidth, int clientHeight, int percent) {
  ProgressBar bar;
  const int quarter = clientWidth / 4;
  bar.left = quarter;
  bar.right = clientWidth - quarter;
  bar.bottom = clientHeight - clientHeight / 4;
  bar.top = bar.bottom - clientHeight / 50;
  bar.boundary = quarter + ((bar.right - quarter) * percent) / 100;
  return bar;
}

void ShowProgress(int percent) {
  if (g_backdrop == nullptr) return;
  g_progressPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  g_drawProgress = true;
  RECT client;
  GetClientRect(g_backdrop, &client);
  const ProgressBar bar = ComputeProgressBar(client.right, client.bottom, g_progressPercent);
  const RECT barArea = {bar.left, bar.top, bar.right, bar.bottom};
  RedrawWindow(g_backdrop, &barArea, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void PaintWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);

  if (!g_firstPaintDone) {
    g_firstPaintDone = true;
    g_backgroundBrush = CreateSolidBrush(kBackdropColour);
    g_progressDoneBrush = CreateSolidBrush(kProgressDoneColour);
    g_progressToDoBrush = CreateSolidBrush(kProgressToDoColour);
  }

  const bool isBackdrop = window == g_backdrop && window != nullptr;
  if (isBackdrop) {
    RECT client;
    GetClientRect(window, &client);
    // Always the blue first: the paint that draws the bar may be the first after
    // the frame was restored from minimised, with nothing on screen to draw over.
    FillRectangle(dc, g_backgroundBrush, 0, 0, client.right, client.bottom);
    if (g_drawProgress) {
      // Until the next paint, which covers it again.
      const ProgressBar bar = ComputeProgressBar(client.right, client.bottom, g_progressPercent);
      FillRectangle(dc, g_progressDoneBrush, bar.left, bar.top, bar.boundary, bar.bottom);
      FillRectangle(dc, g_progressToDoBrush, bar.boundary, bar.top, bar.right, bar.bottom);
      g_drawProgress = false;
    }
  }

  EndPaint(window, &paint);

  // Posted after the paint is complete, so the installation starts only once
  // the blue backdrop is on screen; once in the life of the process.
  if (isBackdrop && !g_startPosted) {
    g_startPosted = true;
    PostMessageA(window, kStartMessage, kStartMessageParam, 0);
  }
}
