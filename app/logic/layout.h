// Where the result list view lies in the client area of the main window, and
// the scaling of the window's pixel sizes to the system's DPI.
#pragma once

namespace ostrelle {

// The DPI at which the window's sizes are given (100 %).
constexpr int kBaseDpi = 96;

// A size given in pixels at 96 DPI, at the given DPI (rounded to nearest).
// A DPI of 0 or below is taken as 96.
int ScaleToDpi(int pixelsAt96Dpi, int dpi);

struct ListViewPlacement {
  int x;
  int y;
  int width;
  int height;
};

// At (20, 20); width |client width - 40|, height |client height - caption
// height - 79|; the margins 20, 40 and 79 are pixels at 96 DPI and scale with
// dpi, the client size and the caption height are taken as measured. The
// fixed margins leave room for the status bar below; the absolute values keep
// the size from turning negative in a tiny window.
ListViewPlacement ListViewLayout(int clientWidth, int clientHeight, int captionHeight,
                                 int dpi = kBaseDpi);

}  // namespace ostrelle
