// The real Ostrelle program under Wine with the stand-in engine
// (tests/fixtures/fake_engine), whose jobs this test steers: a cancelled
// job's worker that ends only when the test says so, a result transfer held
// entry by entry, the folder command's argument, what the status bar says
// after a save, and the layout at another DPI. Every wait is for a state of
// the program or the stand-in; the timeouts only bound a failure.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app_driver.h"
#include "text_conversion.h"

#include <shellapi.h>
#include <shlobj.h>

using namespace ostrelle_test;

namespace {

// A failure bound for what normally takes a moment.
constexpr DWORD kStateTimeoutMs = 60000;

// An event that the stand-in opens by name, unique to this test process.
class NamedEvent {
 public:
  NamedEvent(const std::string& name, bool manualReset)
      : name_(name + "-" + std::to_string(GetCurrentProcessId())),
        handle_(CreateEventA(nullptr, manualReset, FALSE, name_.c_str())) {}
  const std::string& Name() const { return name_; }
  HANDLE Get() const { return handle_.Get(); }
  bool Valid() const { return handle_.Valid(); }

 private:
  std::string name_;
  tarvex::UniqueHandle handle_;
};

// The stand-in's call log, one line per call.
std::vector<std::string> CallLog(const std::string& path) {
  return SplitLines(ReadWholeFile(path));
}

bool ExitsWithZero(AppProcess& app) {
  DWORD exitCode = 1;
  return app.WaitForExit(30000, &exitCode) && exitCode == 0;
}

TEST(AppWithStandIn, CancelThenScanKeepsTheWindowAnsweringUntilTheWorkerHasEnded) {
  const std::string callLog = FreshPath("standin-cancel.log");
  const NamedEvent workerEnd("ostrelle-test-worker-end", true);
  ASSERT_TRUE(workerEnd.Valid());
  ScopedEnvironment environment({{"FAKE_ENGINE_LOG", callLog},
                                 {"FAKE_ENGINE_ENTRIES", "3"},
                                 {"FAKE_ENGINE_WORKER_EVENT", workerEnd.Name()}});
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  ASSERT_TRUE(app.WaitForStatus(TextInProgress(), kStateTimeoutMs)) << app.StatusText();

  // Cancel, and at once a new scan. Both are sent, so each returns only when
  // the window has handled it: a window that waits for the still running
  // worker in the second command never answers.
  ASSERT_TRUE(app.SendCommand(106, kStateTimeoutMs));
  ASSERT_TRUE(app.SendCommand(103, kStateTimeoutMs)) << "the window hangs in the new scan";
  EXPECT_TRUE(app.Answers(kStateTimeoutMs));
  EXPECT_EQ(TextCancelling(), app.StatusText());
  // The new scan was held back: no second job while the first one's worker runs.
  EXPECT_EQ((std::vector<std::string>{"TarvexAllProcesses", "CancleScan"}), CallLog(callLog));
  // Cancel is done, a second cancel does nothing.
  ASSERT_TRUE(app.SendCommand(106, kStateTimeoutMs));
  EXPECT_EQ(TextCancelling(), app.StatusText());

  // The worker ends: the program is idle again, without results of that job.
  SetEvent(workerEnd.Get());
  ASSERT_TRUE(app.WaitForStatus(TextCancelled(), kStateTimeoutMs)) << app.StatusText();
  EXPECT_EQ(0, app.RowCount());
  EXPECT_EQ((std::vector<std::string>{"TarvexAllProcesses", "CancleScan", "worker ended"}),
            CallLog(callLog));

  // The next scan runs on the library bound again, and ends as usual.
  app.Command(103);
  ASSERT_TRUE(app.WaitForStatus(TextReady(), kStateTimeoutMs)) << app.StatusText();
  EXPECT_EQ(3, app.RowCount());
  EXPECT_EQ("Processname", app.ColumnTitle(0));
  EXPECT_EQ((std::vector<std::string>{"TarvexAllProcesses", "CancleScan", "worker ended",
                                      "TarvexAllProcesses", "worker ended"}),
            CallLog(callLog));

  // The log: the cancelled block closed by the end rule alone, then the finished one.
  const std::string path = FreshPath("standin-cancel.txt");
  SaveThroughDialog(app, path);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(2u, blocks.size());
  EXPECT_FALSE(blocks[0].finished);
  EXPECT_TRUE(blocks[1].finished);
  EndProcessesNamed("notepad.exe");
  app.Command(111);
  EXPECT_TRUE(ExitsWithZero(app));
}

// The folder picker is driven with its own messages: BFFM_SETSELECTION with an
// item id list in the program's memory, then OK.
class FolderCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    callLog_ = FreshPath("standin-folder.log");
    environment_ = std::make_unique<ScopedEnvironment>(std::map<std::string, std::string>{
        {"FAKE_ENGINE_LOG", callLog_}, {"FAKE_ENGINE_ENTRIES", "2"}});
    app_ = std::make_unique<AppProcess>();
  }
  void TearDown() override {
    app_->Command(111);
    EXPECT_TRUE(ExitsWithZero(*app_));
  }

  // Opens the picker, selects with the message, presses OK. The picker shows
  // the selected item's name in its edit field (BIF_EDITBOX); the selection
  // is sent again until it shows there, since a picker still filling its
  // tree may put its first item back.
  void Choose(WPARAM byPath, const void* data, size_t length, const std::wstring& shownName) {
    app_->Command(107);
    HWND dialog = app_->WaitForOwnDialog(kStateTimeoutMs);
    ASSERT_NE(nullptr, dialog);
    HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
    ASSERT_NE(nullptr, edit);
    void* remote = app_->CopyToProgram(data, length);
    ASSERT_NE(nullptr, remote);
    const bool selected = WaitUntil(
        [&] {
          DWORD_PTR result = 0;
          SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, byPath, reinterpret_cast<LPARAM>(remote),
                              SMTO_NORMAL, kStateTimeoutMs, &result);
          wchar_t shown[MAX_PATH] = {};
          SendMessageTimeoutW(edit, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(shown),
                              SMTO_NORMAL, kStateTimeoutMs, &result);
          return shownName == shown;
        },
        kStateTimeoutMs, 200);
    ASSERT_TRUE(selected) << "the picker did not select " << tarvex::AnsiFromWide(shownName);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return app_->FindOwnDialog() == nullptr; }, kStateTimeoutMs));
  }
  void ChoosePath(const std::wstring& path) {
    SHFILEINFOW info{};
    ASSERT_NE(0u, SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME));
    Choose(TRUE, path.c_str(), (path.size() + 1) * sizeof(wchar_t), info.szDisplayName);
  }
  void ChoosePath(const std::string& path) { ChoosePath(tarvex::WideFromAnsi(path)); }
  void ChooseSpecialFolder(int csidl) {
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list)));
    const tarvex::UniqueCoTaskMemory<PIDLIST_ABSOLUTE> owned(list);
    SHFILEINFOW info{};
    ASSERT_NE(0u, SHGetFileInfoW(reinterpret_cast<const wchar_t*>(list), 0, &info, sizeof info,
                                 SHGFI_PIDL | SHGFI_DISPLAYNAME));
    Choose(FALSE, list, ILGetSize(list), info.szDisplayName);
  }

  // Waits for the scan the choice started, and gives the export's call.
  std::string NextCall() {
    const size_t before = calls_;
    EXPECT_TRUE(WaitUntil([&] { return CallLog(callLog_).size() > before; }, kStateTimeoutMs));
    EXPECT_TRUE(app_->WaitForStatus(TextReady(), kStateTimeoutMs)) << app_->StatusText();
    const auto lines = CallLog(callLog_);
    calls_ = lines.size();
    return lines.size() > before ? lines[before] : std::string();
  }

  std::string callLog_;
  size_t calls_ = 0;
  std::unique_ptr<ScopedEnvironment> environment_;
  std::unique_ptr<AppProcess> app_;
};

TEST_F(FolderCommand, PassesTheChosenFolderAndAllDrivesOnlyForTheComputer) {
  ASSERT_TRUE(app_->Started());
  const std::string folder = OutputDirectory() + "\\picked folder";
  CreateDirectoryA(folder.c_str(), nullptr);
  ChoosePath(folder);
  EXPECT_EQ("TarvexAdsInFolder [" + folder + "]", NextCall());

  ChoosePath("C:\\");
  EXPECT_EQ("TarvexAdsInFolder [C:\\]", NextCall());

  // A folder whose path has no exact form in the ANSI code page, which the
  // engine takes, is not scanned (and never turned into all drives). The
  // picker under Wine cannot reach a folder deeper than MAX_PATH characters,
  // the other such case; the decision is the same (unit test AppFolderChoice).
  const std::wstring greek = tarvex::WideFromAnsi(OutputDirectory()) + L"\\picked \x03A9\x03A3";
  CreateDirectoryW(greek.c_str(), nullptr);
  ChoosePath(greek);
  ASSERT_TRUE(app_->WaitForStatus(TextFolderNotScannable(), kStateTimeoutMs)) << app_->StatusText();
  EXPECT_EQ(calls_, CallLog(callLog_).size());

  // The computer node lists the drives: all drives.
  ChooseSpecialFolder(CSIDL_DRIVES);
  EXPECT_EQ("TarvexAdsInFolder []", NextCall());

  // Another item without a folder path starts nothing and says why.
  ChooseSpecialFolder(CSIDL_BITBUCKET);
  ASSERT_TRUE(app_->WaitForStatus(TextFolderNotScannable(), kStateTimeoutMs)) << app_->StatusText();
  EXPECT_EQ(calls_, CallLog(callLog_).size());

  // The log names each scanned folder; all drives with nothing after the type text.
  const std::string path = FreshPath("standin-folder.txt");
  SaveThroughDialog(*app_, path);
  const auto blocks = ParseLog(ReadWholeFile(path));
  ASSERT_EQ(3u, blocks.size());
  const std::string type =
      T("all alternate data streams in folder ", "Alle Alternate Data Streams in Ordner ");
  ExpectHeader(blocks[0], type + folder);
  ExpectHeader(blocks[1], type + "C:\\");
  ExpectHeader(blocks[2], type);
  EndProcessesNamed("notepad.exe");
}

TEST(AppWithStandIn, StatusBarSaysWhenALogIsNotWrittenOrNotOpened) {
  ScopedEnvironment environment(std::map<std::string, std::string>{{"FAKE_ENGINE_ENTRIES", "2"}});
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  ASSERT_TRUE(app.WaitForStatus(TextReady(), kStateTimeoutMs)) << app.StatusText();

  // Written, but a page type is not handed to the shell, and the status says so.
  const std::string page = FreshPath("standin-log.htm");
  SaveThroughDialog(app, page);
  ASSERT_TRUE(app.WaitForStatus(TextLogSavedNotOpened(page), kStateTimeoutMs)) << app.StatusText();
  EXPECT_EQ(1u, ParseLog(ReadWholeFile(page)).size());

  // A file that cannot be created (held open here without sharing) is reported.
  const std::string held = FreshPath("standin-held.txt");
  const tarvex::UniqueFileHandle holder(CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                    nullptr));
  ASSERT_TRUE(holder.Valid());
  app.Command(102);
  FillFileDialog(app, TextSaveTitle(), held, "ASMI-Logfile.txt");
  ASSERT_TRUE(app.WaitForStatus(TextLogNotSaved(held), kStateTimeoutMs)) << app.StatusText();
  EXPECT_EQ(0u, GetFileSize(holder.Get(), nullptr));

  app.Command(111);
  EXPECT_TRUE(ExitsWithZero(app));
}

TEST(AppWithStandIn, AutomaticModeEndsWithExitCodeOneWhenItsLogCannotBeWritten) {
  const std::string callLog = FreshPath("standin-automatic.log");
  ScopedEnvironment environment({{"FAKE_ENGINE_LOG", callLog}, {"FAKE_ENGINE_ENTRIES", "2"}});
  const std::string missing = OutputDirectory() + "\\no such folder";
  RemoveDirectoryA(missing.c_str());
  const std::string path = missing + "\\auto.txt";
  AppProcess app("scan \"" + path + "\"");
  ASSERT_TRUE(app.Started());
  // Both scans ran; the unattended run ends by itself and says that it failed.
  DWORD exitCode = 0;
  ASSERT_TRUE(app.WaitForExit(kStateTimeoutMs, &exitCode));
  EXPECT_EQ(1u, exitCode);
  // The close at the end asks the engine to cancel, as every close does.
  EXPECT_EQ((std::vector<std::string>{"TarvexAllProcesses", "TarvexAdsInFolder []", "CancleScan"}),
            CallLog(callLog));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

struct StatusProbe {
  HWND statusBar;
  char text[256];
  LRESULT answered;
};

DWORD WINAPI SendStatusProbe(LPVOID parameter) {
  auto* probe = static_cast<StatusProbe*>(parameter);
  DWORD_PTR result = 0;
  probe->answered = SendMessageTimeoutA(probe->statusBar, WM_GETTEXT, sizeof probe->text,
                                        reinterpret_cast<LPARAM>(probe->text), SMTO_NORMAL,
                                        kStateTimeoutMs, &result);
  return 0;
}

// The program declares itself DPI-aware and scales its own sizes, given at
// 96 DPI, to the system's DPI: here 144 (150 %), which Wine takes from the
// user's "LogPixels" when a program starts.
TEST(AppWithStandIn, LaysOutAtTheSystemDpi) {
  class SystemDpi {
   public:
    explicit SystemDpi(DWORD dpi) {
      if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key_.Put(),
                          nullptr) != ERROR_SUCCESS) {
        key_.Release();
        return;
      }
      DWORD size = sizeof old_;
      hadOld_ = RegQueryValueExA(key_.Get(), "LogPixels", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
      set_ = RegSetValueExA(key_.Get(), "LogPixels", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) == ERROR_SUCCESS;
    }
    ~SystemDpi() {
      if (!set_) return;
      if (hadOld_) {
        RegSetValueExA(key_.Get(), "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                       sizeof old_);
      } else {
        RegDeleteValueA(key_.Get(), "LogPixels");
      }
    }
    bool Set() const { return set_; }

   private:
    tarvex::UniqueRegistryKey key_;
    DWORD old_ = 0;
    bool hadOld_ = false;
    bool set_ = false;
  };
  RECT client{}, list{}, status{};
  {
    const SystemDpi dpi(144);
    ASSERT_TRUE(dpi.Set());
    AppProcess app;
    ASSERT_TRUE(app.Started());
    GetClientRect(app.Window(), &client);
    GetWindowRect(app.ListView(), &list);
    MapWindowPoints(nullptr, app.Window(), reinterpret_cast<POINT*>(&list), 2);
    GetWindowRect(app.StatusBar(), &status);
    MapWindowPoints(nullptr, app.Window(), reinterpret_cast<POINT*>(&status), 2);
    app.Command(111);
    EXPECT_TRUE(ExitsWithZero(app));
  }
  EXPECT_EQ(960, client.right);  // 640 at 96 DPI
  EXPECT_EQ(30, list.left);      // the margins of 20 and 40 pixels at 96 DPI
  EXPECT_EQ(30, list.top);
  EXPECT_EQ(900, list.right - list.left);
  // The status bar, taller at this DPI, keeps its own room below the list view.
  EXPECT_EQ(client.bottom, status.bottom);
  EXPECT_LT(list.bottom, status.top);
}

// A large transfer, held by the stand-in before every entry until the test
// has seen what it checks: meanwhile the window answers sent messages, paints
// what is invalidated, and drops the commands chosen during the transfer.
TEST(AppLargeTransfer, KeepsPaintingAndStartsNoSecondCommand) {
  const int kEntries = 50000;
  const std::string callLog = FreshPath("fake-engine.log");
  // The stand-in opens "<prefix>-reached", "<prefix>-go" and "<prefix>-free".
  const std::string prefix = "ostrelle-test-pace-" + std::to_string(GetCurrentProcessId());
  const tarvex::UniqueHandle reachedEvent(
      CreateEventA(nullptr, FALSE, FALSE, (prefix + "-reached").c_str()));
  const tarvex::UniqueHandle goEvent(CreateEventA(nullptr, FALSE, FALSE, (prefix + "-go").c_str()));
  const tarvex::UniqueHandle freeEvent(
      CreateEventA(nullptr, TRUE, FALSE, (prefix + "-free").c_str()));
  ASSERT_TRUE(reachedEvent.Valid() && goEvent.Valid() && freeEvent.Valid());
  ScopedEnvironment environment({{"FAKE_ENGINE_LOG", callLog},
                                 {"FAKE_ENGINE_ENTRIES", std::to_string(kEntries)},
                                 {"FAKE_ENGINE_PACE", prefix}});
  AppProcess app;
  ASSERT_TRUE(app.Started());
  app.Command(103);
  // Held before the first row: the transfer has begun.
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reachedEvent.Get(), kStateTimeoutMs));

  // Chosen during the transfer: all to be dropped.
  app.Command(104);
  app.Command(106);
  app.Command(105);
  app.Close();
  InvalidateRect(app.StatusBar(), nullptr, TRUE);
  // A sent message, from a thread of its own, since the window answers only
  // between rows.
  StatusProbe probe{app.StatusBar(), {}, 0};
  const tarvex::UniqueHandle prober(CreateThread(nullptr, 0, SendStatusProbe, &probe, 0, nullptr));
  ASSERT_TRUE(prober.Valid());

  // Release one entry at a time until the probe is answered. Whenever the
  // stand-in holds again, the rows before it are in and the pump between
  // them has finished; the transfer cannot end while it is held.
  int released = 0;
  while (WaitForSingleObject(prober.Get(), 0) == WAIT_TIMEOUT) {
    ASSERT_LT(released, kEntries - 1) << "the window did not answer during the transfer";
    SetEvent(goEvent.Get());
    ++released;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reachedEvent.Get(), kStateTimeoutMs));
  }
  EXPECT_NE(0, probe.answered);
  EXPECT_EQ(TextInProgress(), std::string(probe.text));
  // The same pump painted the status bar that was invalidated before it.
  RECT update{};
  EXPECT_FALSE(GetUpdateRect(app.StatusBar(), &update, FALSE)) << "not painted during the transfer";

  // Let the rest through.
  SetEvent(freeEvent.Get());
  ASSERT_TRUE(app.WaitForStatus(TextReady(), 300000)) << app.StatusText();
  EXPECT_EQ(kEntries, app.RowCount());
  EXPECT_EQ("C:\\Windows\\System32\\process" + std::to_string(kEntries - 1) + ".exe",
            app.Cell(kEntries - 1, 0));
  EXPECT_EQ("0", app.Cell(kEntries - 1, 5));
  EXPECT_EQ("Processname", app.ColumnTitle(0));
  // The dropped commands: no second export call, rows and log kept, still running.
  EXPECT_TRUE(app.Answers(kStateTimeoutMs));
  EXPECT_EQ(TextReady(), app.StatusText());
  EXPECT_EQ(kEntries, app.RowCount());
  EXPECT_EQ("TarvexAllProcesses\n", ReadWholeFile(callLog));
  DWORD exitCode = 1;
  EXPECT_FALSE(app.WaitForExit(0, &exitCode))
      << "the close request during the transfer ended the program";
  app.Close();
  ASSERT_TRUE(app.WaitForExit(30000, &exitCode));
  EXPECT_EQ(0u, exitCode);
}

}  // namespace
