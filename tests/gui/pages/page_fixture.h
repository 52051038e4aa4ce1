// What the page and dialog tests share: the application object, pictures of
// real symbols, a ring whose displayed slot holds a picture, and a host.
#ifndef VANTREL_TESTS_GUI_PAGES_PAGE_FIXTURE_H
#define VANTREL_TESTS_GUI_PAGES_PAGE_FIXTURE_H

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/ui/page_host.h"
#include "symbol_render.h"
#include "vantrel/dib.h"

namespace vantrel::test {

// A 640 x 480 colour picture with one symbol (zint options and data) at the
// given module size; nothing but paper when `options` is empty.
DibPtr SymbolFrame(const std::vector<std::string>& options, const std::string& data,
                   double moduleSize, int32_t width = 640, int32_t height = 480);

// The control numbered `id` inside a page (never the page itself: the QR
// page's template number is also its data box's).
template <typename T>
T* Control(QWidget* page, int32_t id) {
  for (QWidget* w : page->findChildren<QWidget*>()) {
    if (ui::ControlIdOf(w) == id) return qobject_cast<T*>(w);
  }
  return nullptr;
}

// True when both pictures have the same size, depth and pixels.
bool SamePixels(DibImage a, DibImage b);

// A ring of the picture's size whose displayed slot holds the picture, a
// cycle over it that never runs, and a host with a page frame.
class PageBench {
 public:
  explicit PageBench(DibImage picture);
  ~PageBench();

  // Puts another picture of the ring's size into the displayed slot.
  void Show(DibImage picture);
  // A copy of the displayed slot's picture.
  DibPtr Displayed();

  FrameRing ring;
  std::unique_ptr<ReadingCycle> cycle;
  QWidget frame;
  std::unique_ptr<BasicPageHost> host;
};

// Lines the overlay store would draw now.
int32_t OverlayLineCount();

// The frame of a page test: a bench whose displayed slot holds the test's
// picture, the page made over it with given settings, its controls by number
// and every message box answered (and recorded).
template <typename Page>
class PageTest : public ::testing::Test {
 protected:
  void TearDown() override { page_.reset(); }

  void MakeBench(DibImage picture) { bench_ = std::make_unique<PageBench>(picture); }
  Page& Make(const SettingsRecord& s = SettingsRecord{}) {
    bench_->host->SetSettings(s);
    page_ = std::make_unique<Page>(*bench_->host, &bench_->frame);
    return *page_;
  }
  QLineEdit* Edit(int32_t id) { return Control<QLineEdit>(page_.get(), id); }
  void Click(int32_t id) { Control<QPushButton>(page_.get(), id)->click(); }
  SettingsRecord Settings() const { return bench_->host->Settings(); }

  std::unique_ptr<PageBench> bench_;
  std::unique_ptr<Page> page_;
  ui::ScopedMessageAnswers answers_;
};

}  // namespace vantrel::test

#endif
