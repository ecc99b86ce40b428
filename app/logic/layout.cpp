// The layout rule of the result list view.
#include "layout.h"

#include <climits>

namespace ostrelle {
namespace {

int Magnitude(long long value) {
  const long long magnitude = value < 0 ? -value : value;
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace

int ScaleToDpi(int pixelsAt96Dpi, int dpi) {
  if (dpi <= 0) dpi = kBaseDpi;
  const long long scaled = (static_cast<long long>(pixelsAt96Dpi) * dpi +
                            (pixelsAt96Dpi < 0 ? -kBaseDpi : kBaseDpi) / 2) /
                           kBaseDpi;
  if (scaled > INT_MAX) return INT_MAX;
  if (scaled < INT_MIN) return INT_MIN;
  return static_cast<int>(scaled);
}

ListViewPlacement ListViewLayout(int clientWidth, int clientHeight, int captionHeight, int dpi) {
  const int margin = ScaleToDpi(20, dpi);
  // Computed in 64 bits so that extreme inputs cannot overflow.
  const long long width = static_cast<long long>(clientWidth) - ScaleToDpi(40, dpi);
  const long long height =
      static_cast<long long>(clientHeight) - captionHeight - ScaleToDpi(79, dpi);
  return ListViewPlacement{margin, margin, Magnitude(width), Magnitude(height)};
}

}  // namespace ostrelle
