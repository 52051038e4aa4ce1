// How the history window keeps up at its cap: fills the history to its
// 10,000 rows, shows the window, then times appending one reading and
// repainting the table at once (what a read costs the window thread), many
// times over, and prints the median, the 95th percentile and the worst.
//
//   vantrel-history-bench [appends]      (QT_QPA_PLATFORM=offscreen, or under a display)
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vantrel/history_dlg.h"

using namespace vantrel;

namespace {

HistoryEntry Entry(int i) {
  HistoryEntry e;
  e.timeMs = 1741059296789 + i * 37;
  if (i % 3 == 0) {
    e.kind = CodeKind::kQrCode;
    e.symbology = "QR";
    e.qrVersion = 4;
    e.qrLevel = 1;
    e.text = "ロット番号 A-" + std::to_string(100000 + i) + " 出荷先 東京都港区";
  } else {
    e.kind = CodeKind::kBarcode;
    e.symbology = "CODE 128";
    e.text = "VANTREL-" + std::to_string(100000 + i);
  }
  e.bytes = e.text;
  e.milliseconds = 0.4 + (i % 10) * 0.05;
  return e;
}

// This thread's processor time in milliseconds: what the window thread spends,
// whatever else the machine is busy with.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int appends = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  HistoryModel model;
  CHistoryDlg dialog(model, nullptr);
  dialog.show();
  QApplication::processEvents();

  QElapsedTimer fill;
  fill.start();
  for (int i = 0; i < static_cast<int>(model.history().capacity()); ++i) model.Append(Entry(i));
  QApplication::processEvents();
  const double fillMs = static_cast<double>(fill.nsecsElapsed()) / 1e6;

  QTableView* table = dialog.table();
  std::vector<double> ms, appendMs, repaintMs, cpu;
  ms.reserve(static_cast<size_t>(appends));
  for (int i = 0; i < appends; ++i) {
    QElapsedTimer t;
    const double cpu0 = CpuMs();
    t.start();
    model.Append(Entry(20000 + i));  // at the cap: the oldest row goes, the new one comes on top
    appendMs.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    QApplication::processEvents();
    table->viewport()->repaint();
    ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    cpu.push_back(CpuMs() - cpu0);
    repaintMs.push_back(ms.back() - appendMs.back());
  }
  std::vector<double> paintOnly;
  for (int i = 0; i < 50; ++i) {
    QElapsedTimer t;
    t.start();
    table->viewport()->repaint();
    paintOnly.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
  }
  std::printf("paint alone: median %.3f ms\n", Percentile(paintOnly, 0.5));
  std::printf("rows %d; filling 10,000 rows %.1f ms\n", model.rowCount(), fillMs);
  std::printf("append + repaint at the cap, %d times: median %.3f ms, 95%% %.3f ms, worst %.3f ms\n", appends,
              Percentile(ms, 0.5), Percentile(ms, 0.95), Percentile(ms, 1.0));
  std::printf("  window thread's processor time: median %.3f ms, 95%% %.3f ms, worst %.3f ms\n",
              Percentile(cpu, 0.5), Percentile(cpu, 0.95), Percentile(cpu, 1.0));
  std::printf("  of which the append (model and view bookkeeping): median %.3f ms; layout and paint: median %.3f ms\n",
              Percentile(appendMs, 0.5), Percentile(repaintMs, 0.5));
  return model.rowCount() == static_cast<int>(model.history().capacity()) ? 0 : 1;
}
