// Where the result list view lies in the client area of the main window.
#pragma once

namespace ostrelle {

struct ListViewPlacement {
  int x;
  int y;
  int width;
  int height;
};

// At (20, 20); width |client width - 40|, height |client height - caption
// height - 79|. The fixed margins leave room for the status bar below; the
// absolute values keep the size from turning negative in a tiny window.
ListViewPlacement ListViewLayout(int clientWidth, int clientHeight, int captionHeight);

}  // namespace ostrelle
