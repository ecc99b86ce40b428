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

ListViewPlacement ListViewLayout(int clientWidth, int clientHeight, int captionHeight) {
  // Computed in 64 bits so that extreme inputs cannot overflow.
  const long long width = static_cast<long long>(clientWidth) - 40;
  const long long height = static_cast<long long>(clientHeight) - captionHeight - 79;
  return ListViewPlacement{20, 20, Magnitude(width), Magnitude(height)};
}

}  // namespace ostrelle
