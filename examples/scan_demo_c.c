/* The engine called from C: the library loaded by file name, one export
 * resolved through its pointer type from tarvex.h, one buffer scanned
 * synchronously. Prints the job verdict (-1 nothing scanned, 0 clean,
 * 1 detection); exit code 3 when the engine cannot be loaded. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tarvex.h"

int main(void) {
  static const char content[] = "A plain text, nothing to find here.";
  HMODULE engine = LoadLibraryA(TARVEX_ENGINE_FILE_NAME);
  TarvexBuffer2Fn scanBuffer;
  intptr_t verdict;
  if (engine == NULL) {
    printf("%s could not be loaded\n", TARVEX_ENGINE_FILE_NAME);
    return 3;
  }
  scanBuffer = (TarvexBuffer2Fn)(void*)GetProcAddress(engine, "TarvexBuffer2");
  if (scanBuffer == NULL) {
    printf("%s lacks TarvexBuffer2\n", TARVEX_ENGINE_FILE_NAME);
    FreeLibrary(engine);
    return 3;
  }
  verdict = scanBuffer("plain.txt", content, strlen(content), 0, "", "");
  printf("verdict %d\n", (int)verdict);
  FreeLibrary(engine);
  return 0;
}
