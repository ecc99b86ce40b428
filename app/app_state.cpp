// The process-wide application state.
#include "app_state.h"

#include "text_table.h"

namespace ostrelle {

AppState& App() {
  static AppState state;
  return state;
}

const char* Text(int entry) { return TableText(entry, App().language); }

}  // namespace ostrelle
