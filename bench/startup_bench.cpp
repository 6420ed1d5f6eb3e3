// Start-up: from the main module's start to both panels painted on a folder of 20,000 files,
// against two Refresh calls of a file list on the same folder, side by side in one run.
#include <windows.h>

#include <cstdio>

#include "Bench.h"
#include "BigFolder.h"
#include "foundation/Folders.h"
#include "foundation/MOption.h"
#include "framework/Forms.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"
#include "panels/MIcon.h"

namespace {
void SetUpOptions(const std::wstring& dir) {
  Options.ResetToDefaults();
  Options.IconAnalysis = false;
  Options.DualWindow = 2;
  Options.PanelOptions(1).Path = dir;
  Options.PanelOptions(2).Path = dir;
}
}  // namespace

VELMO_BENCH(startup) {
  TBigFolder folder(20000);
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring oldProgram = ProgramFolder;
  SetProgramFolder(std::wstring(tmp) + L"velmo-startup-bench\\");
  CreateDirectoryW(ProgramFolder.c_str(), nullptr);
  double ours = BenchSeconds(
      [&] {
        SetUpOptions(folder.Dir);
        InitMainModule();
        {
          TQ7XForm form(nullptr);
          form.Show();
          form.FormActivate();
          MSG msg;
          while (form.StartupTimer && form.StartupTimer->Enabled() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
          }
          RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        DoneMainModule();
      },
      3);
  SetUpOptions(folder.Dir);
  // The lists of the reference use the same file-type cache, loaded beforehand.
  InitMainModule();
  double types = BenchSeconds([] { SystemFileData->Load(); }, 1);
  double ref = BenchSeconds(
      [&] {
        for (int panel = 1; panel <= 2; ++panel) {
          TMFList list(panel);
          list.Path = folder.Dir;
          list.Refresh();
          list.StopWorkers();
        }
      },
      3);
  DoneMainModule();
  BenchReport("start-up to two panels painted, 20,000 files", "ms", ours * 1000, "2 x Refresh", ref * 1000, "ratio",
              ours / ref, "<= 1.5");
  std::printf("  of which the system file types' first load alone: %.1f ms\n", types * 1000);
  SetProgramFolder(oldProgram);
}
