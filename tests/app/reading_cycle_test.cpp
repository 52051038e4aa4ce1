// The reading cycle without a camera: frames handed to HandleFrame by the test
// (standing in for the capture thread), results taken by a stand-in window
// thread, the stream a fake that records its start and stop.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/cycle_harness.h"
#include "app/cycle_pictures.h"
#include "symbol_render.h"
#include "vantrel/frame_ring.h"
#include "vantrel/reading_cycle.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kLibraries = ::testing::AddGlobalTestEnvironment(new DecoderLibraries);

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// FrameRing

std::vector<uint8_t> PatternFrame(int32_t width, int32_t height, int32_t stride, uint8_t seed) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stride) * height, 0xEE);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width * 3; ++c) bytes[static_cast<size_t>(r) * stride + c] = static_cast<uint8_t>(seed + r * 31 + c);
  }
  return bytes;
}

FrameView View(const std::vector<uint8_t>& bytes, int32_t width, int32_t height, int32_t stride) {
  return FrameView{bytes.data(), width, height, stride, bytes.size()};
}

TEST(FrameRing, CopiesRowsTopLineFirstWhateverTheFramePitch) {
  const int32_t w = 5;
  const int32_t h = 3;
  for (int32_t stride : {w * 3, w * 3 + 1, w * 3 + 64}) {
    SCOPED_TRACE(stride);
    FrameRing ring;
    ASSERT_EQ(ring.Allocate(w, h), FrameRing::kOk);
    EXPECT_EQ(ring.Stride(), 16);  // 15 bytes padded to 4
    const auto bytes = PatternFrame(w, h, stride, 7);
    FrameRing::Lease slot = ring.Store(View(bytes, w, h, stride));
    ASSERT_TRUE(slot);
    const uint8_t* bits = DibGetBits(slot.image());
    ASSERT_EQ(DibGetStride(slot.image()), 16);
    for (int32_t r = 0; r < h; ++r) {
      EXPECT_EQ(std::memcmp(bits + r * 16, bytes.data() + static_cast<size_t>(r) * stride, w * 3), 0) << "row " << r;
      EXPECT_EQ(bits[r * 16 + 15], 0) << "padding of row " << r;
    }
  }
}

TEST(FrameRing, FirstFrameLandsInSlotOneAndTheWriterFollowsTheDisplayedSlot) {
  FrameRing ring;
  ASSERT_EQ(ring.Allocate(4, 2), FrameRing::kOk);
  EXPECT_EQ(ring.writeIndex(), 0);
  EXPECT_EQ(ring.displayIndex(), 0);
  const auto bytes = PatternFrame(4, 2, 12, 1);
  std::vector<int32_t> slots;
  for (int i = 0; i < 6; ++i) {
    FrameRing::Lease slot = ring.Store(View(bytes, 4, 2, 12));
    ASSERT_TRUE(slot);
    slots.push_back(slot.slot());
    EXPECT_EQ(ring.displayIndex(), slot.slot());
    EXPECT_EQ(ring.writeIndex(), slot.slot());
  }
  EXPECT_EQ(slots, (std::vector<int32_t>{1, 2, 3, 0, 1, 2}));
  // A new allocation starts over at slot 1.
  ASSERT_EQ(ring.Allocate(4, 2), FrameRing::kOk);
  EXPECT_EQ(ring.displayIndex(), 0);
  EXPECT_EQ(ring.Store(View(bytes, 4, 2, 12)).slot(), 1);
}

TEST(FrameRing, RefusesFramesWithoutTheRingsGeometry) {
  const auto bytes = PatternFrame(8, 8, 32, 1);
  struct Case {
    const char* what;
    FrameView frame;
    bool allocate;
  } cases[] = {
      {"narrower", View(bytes, 7, 4, 32), true},
      {"wider", View(bytes, 5, 4, 32), true},
      {"taller", View(bytes, 6, 5, 32), true},
      {"pitch shorter than a row", View(bytes, 6, 4, 17), true},
      {"no pixels", FrameView{nullptr, 6, 4, 18}, true},
      {"ring not allocated", View(bytes, 6, 4, 18), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FrameRing ring;
    if (c.allocate) {
      ASSERT_EQ(ring.Allocate(6, 4), FrameRing::kOk);
    }
    EXPECT_FALSE(ring.Store(c.frame));
    EXPECT_EQ(ring.writeIndex(), 0);
    EXPECT_EQ(ring.displayIndex(), 0);
  }
}

// A frame's rows must lie inside its bytes: the last row ends
// (height - 1) * stride + 3 * width bytes after the first. The pattern's
// bytes sit at the end of a larger block, so that a read past them would be
// a read past the frame's own memory (and the sanitizers see it).
TEST(FrameRing, RefusesAFrameWhoseRowsRunPastItsBytes) {
  const int32_t w = 6, h = 4;
  struct Case {
    const char* what;
    int32_t stride;
    size_t bytes;
    bool stored;
  } cases[] = {
      {"exactly the rows, no padding after the last", 18, 3 * 18 + 18, true},
      {"padded rows, last row unpadded", 20, 3 * 20 + 18, true},
      {"one byte short", 18, 3 * 18 + 17, false},
      {"a pitch of twice the rows over the bytes of one", 36, 4 * 18, false},
      {"the whole padded frame", 20, 4 * 20, true},
      {"no bytes", 18, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FrameRing ring;
    ASSERT_EQ(ring.Allocate(w, h), FrameRing::kOk);
    std::vector<uint8_t> block(1024 + c.bytes, 0x33);
    const uint8_t* bits = block.data() + 1024;
    FrameRing::Lease slot = ring.Store(FrameView{bits, w, h, c.stride, c.bytes});
    EXPECT_EQ(static_cast<bool>(slot), c.stored);
    EXPECT_EQ(ring.displayIndex(), c.stored ? 1 : 0);
  }
  EXPECT_EQ(FrameExtent(6, 4, 20), 78u);
  EXPECT_EQ(FrameExtent(0, 4, 20), 0u);
  EXPECT_EQ(FrameExtent(6, 4, 0), 0u);
}

TEST(FrameRing, WriterPassesOverLeasedSlotsAndDropsTheFrameWhenAllAreHeld) {
  FrameRing ring;
  ASSERT_EQ(ring.Allocate(4, 2), FrameRing::kOk);
  const auto bytes = PatternFrame(4, 2, 12, 1);
  const FrameView frame = View(bytes, 4, 2, 12);

  ASSERT_EQ(ring.Store(frame).slot(), 1);
  FrameRing::Lease painted = ring.ReadDisplayed();  // the window paints slot 1 for a long time
  ASSERT_EQ(painted.slot(), 1);
  std::vector<int32_t> slots;
  for (int i = 0; i < 4; ++i) slots.push_back(ring.Store(frame).slot());
  EXPECT_EQ(slots, (std::vector<int32_t>{2, 3, 0, 2}));

  // Every slot held: the displayed one and three leases.
  FrameRing::Lease a = ring.ReadDisplayed();  // slot 2
  ASSERT_EQ(ring.Store(frame).slot(), 3);
  FrameRing::Lease b = ring.ReadDisplayed();  // slot 3
  ASSERT_EQ(ring.Store(frame).slot(), 0);
  FrameRing::Lease c = ring.ReadDisplayed();  // slot 0
  EXPECT_FALSE(ring.Store(frame));
  EXPECT_EQ(ring.writeIndex(), 0);
  EXPECT_EQ(ring.displayIndex(), 0);
  EXPECT_EQ(ring.LeasesHeld(), 4);
  painted.Release();
  EXPECT_EQ(ring.Store(frame).slot(), 1);
}

TEST(FrameRing, ReadersOnBothThreadsShareTheSlotsOneImage) {
  FrameRing ring;
  ASSERT_EQ(ring.Allocate(4, 2), FrameRing::kOk);
  const auto bytes = PatternFrame(4, 2, 12, 3);
  FrameRing::Lease decoding = ring.Store(View(bytes, 4, 2, 12));
  FrameRing::Lease painting = ring.ReadDisplayed();
  ASSERT_TRUE(decoding && painting);
  EXPECT_EQ(painting.slot(), decoding.slot());
  EXPECT_EQ(painting.image(), decoding.image());
  // Reading an image writes nothing in it: both threads read it at once.
  std::thread capture([&] {
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(DibGetView(decoding.image()).bits[0], bytes[0]);
  });
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(DibGetWidth(painting.image()), 4);
  capture.join();
  EXPECT_EQ(ring.LeasesHeld(), 2);
}

TEST(FrameRing, LoadingIntoTheDisplayedSlotWaitsForItsDecodeAndNeverMeetsTheWriter) {
  FrameRing ring;
  ASSERT_EQ(ring.Allocate(4, 2), FrameRing::kOk);
  const auto bytes = PatternFrame(4, 2, 12, 1);
  FrameRing::Lease decoding = ring.Store(View(bytes, 4, 2, 12));  // the capture thread decodes slot 1
  ASSERT_EQ(decoding.slot(), 1);

  std::promise<int32_t> got;
  std::thread window([&] {
    FrameRing::Lease load = ring.WriteDisplayed();
    got.set_value(load.slot());
    std::memset(DibGetBits(load.image()), 0x55, 8);
  });
  std::future<int32_t> slot = got.get_future();
  EXPECT_EQ(slot.wait_for(50ms), std::future_status::timeout) << "wrote a slot that is being decoded";
  decoding.Release();
  EXPECT_EQ(slot.get(), 1);
  window.join();
  EXPECT_EQ(ring.LeasesHeld(), 0);

  // While the window writes the displayed slot, frames go elsewhere.
  FrameRing::Lease load = ring.WriteDisplayed();
  ASSERT_EQ(load.slot(), 1);
  FrameRing::Lease next = ring.Store(View(bytes, 4, 2, 12));
  EXPECT_EQ(next.slot(), 2);
}

TEST(FrameRing, AllocationResetsIndexesRefusesBadSizesAndWaitsForNoLease) {
  FrameRing ring;
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-4, 4}, std::pair{FrameRing::kMaxSide + 1, 2}}) {
    EXPECT_EQ(ring.Allocate(w, h), FrameRing::kBadSize) << w << " x " << h;
  }
  ASSERT_EQ(ring.Allocate(6, 4), FrameRing::kOk);
  const auto bytes = PatternFrame(6, 4, 18, 1);
  ring.Store(View(bytes, 6, 4, 18));
  ring.Store(View(bytes, 6, 4, 18));
  {
    FrameRing::Lease held = ring.ReadDisplayed();
    EXPECT_EQ(ring.Allocate(8, 8), FrameRing::kBusy);
    EXPECT_EQ(ring.Free(), FrameRing::kBusy);
    EXPECT_EQ(ring.Width(), 6);
    EXPECT_EQ(ring.displayIndex(), 2);
  }
  ASSERT_EQ(ring.Allocate(8, 8), FrameRing::kOk);
  EXPECT_EQ(ring.Width(), 8);
  EXPECT_EQ(ring.Height(), 8);
  EXPECT_EQ(ring.frameBytes(), 24 * 8);
  EXPECT_EQ(ring.writeIndex(), 0);
  EXPECT_EQ(ring.displayIndex(), 0);
  FrameRing::Lease slot = ring.ReadDisplayed();
  ASSERT_TRUE(slot);
  EXPECT_EQ(DibGetWidth(slot.image()), 8);
  EXPECT_EQ(DibGetBitCount(slot.image()), 24);
  slot.Release();
  EXPECT_EQ(ring.Free(), FrameRing::kOk);
  EXPECT_FALSE(ring.ReadDisplayed());
}

// ---------------------------------------------------------------------------
// Result texts

ReadResult Result(int32_t kind, const std::string& data, const char* typeName = "", const char* version = "",
                  const char* level = "") {
  ReadResult r;
  r.kind = kind;
  std::memcpy(r.data, data.data(), std::min(data.size(), sizeof r.data - 1));
  std::strncpy(r.typeName, typeName, sizeof r.typeName - 1);
  std::strncpy(r.qrVersion, version, sizeof r.qrVersion - 1);
  std::strncpy(r.qrLevel, level, sizeof r.qrLevel - 1);
  return r;
}

TEST(ResultText, LabelsAndDataAsTheResultBoxShowsThem) {
  const std::string longQr(200, 'q');
  const std::string longDmx(4191, 'd');
  const std::string barcode48 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789AB";
  struct Case {
    const char* what;
    ReadResult result;
    std::string text;
  } cases[] = {
      {"barcode", Result(1, "4901234567894", "JAN-13"), "種類：JAN-13\r\n\r\n4901234567894"},
      {"percent stays a character", Result(1, "AB%12%s%d", "CODE 128"), "種類：CODE 128\r\n\r\nAB%12%s%d"},
      {"48-character barcode whole", Result(1, barcode48, "CODE 39"), "種類：CODE 39\r\n\r\n" + barcode48},
      {"QR code", Result(2, "50%OFF", "", "3", "Q(25％)"), "バージョン：3\r\nレベル：Q(25％)\r\n\r\n50%OFF"},
      {"QR text beyond 200 bytes", Result(2, longQr, "", "10", "L(7％)"),
       "バージョン：10\r\nレベル：L(7％)\r\n\r\n" + longQr},
      {"Data Matrix data alone", Result(3, "a%b%c", "JAN-8", "1", "H(30％)"), "a%b%c"},
      {"Data Matrix at its longest", Result(3, longDmx), longDmx},
      {"Shift JIS converted", Result(2, "\x8a\xbf\x8e\x9a", "", "1", "M(15％)"),
       "バージョン：1\r\nレベル：M(15％)\r\n\r\n漢字"},
      {"UTF-8 kept", Result(3, "漢字 é"), "漢字 é"},
      {"Latin-1 last", Result(1, "caf\xe9!", "CODE 128"), "種類：CODE 128\r\n\r\ncafé!"},
      {"no result", Result(0, "stale"), ""},
      {"unknown kind", Result(7, "stale"), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatResultText(c.result), c.text) << c.what;
  }
}

TEST(ResultText, DropsOnlyACharacterThatTheCutBrokeInTwo) {
  struct Case {
    const char* what;
    std::string text;
    std::string kept;
  } cases[] = {
      {"UTF-8 two-byte lead alone", "ab\xc3", "ab"},
      {"UTF-8 three bytes, two left", "x\xe6\xbc", "x"},
      {"UTF-8 four bytes, three left", "\xf0\x9f\x98", ""},
      {"UTF-8 complete", "ab\xc3\xa9", "ab\xc3\xa9"},
      {"Shift JIS lead alone", "\x8a\xbf\x8e", "\x8a\xbf"},
      {"Shift JIS complete", "\x8a\xbf\x8e\x9a", "\x8a\xbf\x8e\x9a"},
      {"Shift JIS trail that looks like a lead", "\x8a\x81", "\x8a\x81"},
      {"ASCII", "plain text", "plain text"},
      {"half-width katakana", "\xb1\xb2", "\xb1\xb2"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.text.begin(), c.text.end());
    buffer.push_back('\0');
    const int32_t n = DropCutCharacter(buffer.data(), static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(std::string(buffer.data(), n), c.kept) << c.what;
    EXPECT_EQ(buffer[n], '\0') << c.what;
  }
}

// ---------------------------------------------------------------------------
// The cycle

class FakeStream : public CaptureStream {
 public:
  int32_t RunStream() override {
    runs.fetch_add(1);
    return runStatus;
  }
  void StopStream() override { stops.fetch_add(1); }
  std::atomic<int32_t> runs{0};
  std::atomic<int32_t> stops{0};
  int32_t runStatus = 0;
};

class ReadingCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ring.Allocate(640, 480), FrameRing::kOk);
    station.Bind(&cycle);
    cycle.SetStream(&stream);
    station.EditSettings([](SettingsRecord& s) {
      s.BarCodeEnable = 1;
      s.QRCodeEnable = 0;
      s.DmxCodeEnable = 0;
      s.OneDecode = 0;
    });
  }
  void TearDown() override {
    station.window.Run([this] { cycle.StopReading(); });
    station.window.Drain();
  }

  // The read-start button, then the command that empties the box.
  void StartReading() {
    station.PressReadStart();
    station.window.Drain();
    ASSERT_TRUE(cycle.running());
  }
  // Keeps the window thread busy until the returned promise is set, so that
  // posted commands stay queued.
  std::promise<void> BlockWindow() {
    std::promise<void> release;
    auto blocked = std::make_shared<std::promise<void>>();
    std::future<void> entered = blocked->get_future();
    station.window.Post([f = release.get_future().share(), blocked]() mutable {
      blocked->set_value();
      f.wait();
    });
    entered.wait();
    return release;
  }

  FrameRing ring;
  FakeStation station;
  ReadingCycle cycle{ring, station.Callbacks()};
  FakeStream stream;
};

TEST_F(ReadingCycleTest, FramesAreIgnoredWhileReadingIsOff) {
  DibPtr picture = BarcodePicture("IDLE");
  cycle.HandleFrame(ViewOf(picture.get()));
  EXPECT_EQ(ring.displayIndex(), 0);
  EXPECT_EQ(cycle.FramesHandled(), 0u);
  EXPECT_EQ(station.PreviewRepaints(), 0);
  EXPECT_EQ(station.CommandsPosted(), 0);
}

TEST_F(ReadingCycleTest, StartingEmptiesTheResultAndTheOverlaysAndStartsTheStream) {
  station.SetBox("an old result");
  OverlayAddLine(1, 2, 3, 4, 0xFF);
  ASSERT_GT(OverlayLines(), 0);
  StartReading();
  EXPECT_EQ(station.Box(), "");
  EXPECT_EQ(station.CommandsHandled(), 1);
  EXPECT_TRUE(station.Shown().empty());
  EXPECT_EQ(OverlayLines(), 0);
  EXPECT_EQ(station.WindowRepaints(), 1);
  EXPECT_EQ(stream.runs.load(), 1);
  EXPECT_EQ(station.Caption(), "停止");
  EXPECT_TRUE(station.ButtonPressed());

  // The same button stops the reading again.
  station.PressReadStart();
  EXPECT_FALSE(cycle.running());
  EXPECT_EQ(stream.stops.load(), 1);
  EXPECT_EQ(station.Caption(), "読取開始");
}

TEST_F(ReadingCycleTest, AStreamThatDoesNotStartLeavesReadingOff) {
  stream.runStatus = -18;
  station.PressReadStart();
  EXPECT_FALSE(cycle.running());
  EXPECT_EQ(station.Caption(), "読取開始");
  DibPtr picture = BarcodePicture("LATE");
  cycle.HandleFrame(ViewOf(picture.get()));
  EXPECT_EQ(cycle.FramesHandled(), 0u);
}

TEST_F(ReadingCycleTest, EveryFrameRepaintsAndOnlyADecodedOnePostsTheCommand) {
  StartReading();
  const int32_t posted = station.CommandsPosted();
  DibPtr blank = BlankPicture();
  cycle.HandleFrame(ViewOf(blank.get()));
  EXPECT_EQ(ring.displayIndex(), 1);
  EXPECT_EQ(station.PreviewRepaints(), 1);
  EXPECT_EQ(station.CommandsPosted(), posted);
  EXPECT_EQ(cycle.PendingResult().kind, 0);

  // With every decoder switched off frames are shown, never decoded.
  station.EditSettings([](SettingsRecord& s) { s.BarCodeEnable = s.QRCodeEnable = s.DmxCodeEnable = 0; });
  DibPtr barcode = BarcodePicture("SHOWN");
  cycle.HandleFrame(ViewOf(barcode.get()));
  EXPECT_EQ(ring.displayIndex(), 2);
  EXPECT_EQ(station.PreviewRepaints(), 2);
  EXPECT_EQ(station.CommandsPosted(), posted);
}

TEST_F(ReadingCycleTest, DecodersAreTriedInTheirOrderAndTheFirstSuccessWins) {
  DibPtr both = BarcodeAndQrPicture("BAR1", "QR-ONE");
  DibPtr qrOnly = QrPicture("QR-TWO");
  DibPtr dmxOnly = DataMatrixPicture("DMX-3");
  struct Case {
    const char* what;
    int32_t barcode, qr, dmx;
    DibImage picture;
    int32_t kind;
    std::string text;
  } cases[] = {
      {"barcode before QR", 1, 1, 1, both.get(), 1, "種類：CODE 128\r\n\r\nBAR1"},
      {"QR when the barcode is off", 0, 1, 0, both.get(), 2, "QR-ONE"},
      {"QR when no barcode is found", 1, 1, 0, qrOnly.get(), 2, "QR-TWO"},
      {"Data Matrix last", 1, 1, 1, dmxOnly.get(), 3, "DMX-3"},
      {"nothing enabled", 0, 0, 0, both.get(), 0, ""},
  };
  StartReading();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    station.EditSettings([&](SettingsRecord& s) {
      s.BarCodeEnable = c.barcode;
      s.QRCodeEnable = c.qr;
      s.DmxCodeEnable = c.dmx;
    });
    const int32_t shownBefore = static_cast<int32_t>(station.Shown().size());
    cycle.HandleFrame(ViewOf(c.picture));
    station.window.Drain();
    const std::vector<std::string> shown = station.Shown();
    if (c.kind == 0) {
      EXPECT_EQ(static_cast<int32_t>(shown.size()), shownBefore);
      continue;
    }
    ASSERT_EQ(static_cast<int32_t>(shown.size()), shownBefore + 1);
    // The box ends with the data; QR results start with their version line.
    EXPECT_GE(shown.back().size(), c.text.size());
    EXPECT_EQ(shown.back().substr(shown.back().size() - c.text.size()), c.text);
    if (c.kind == 2) {
      EXPECT_EQ(shown.back().rfind("バージョン：", 0), 0u);
    }
    if (c.kind == 3) {
      EXPECT_EQ(shown.back(), c.text);
    }
  }
}

TEST_F(ReadingCycleTest, APendingCommandShowsTheNewestResultAndOnlyOneIsQueued) {
  StartReading();
  const int32_t posted = station.CommandsPosted();
  DibPtr first = BarcodePicture("FIRST");
  DibPtr second = BarcodePicture("SECOND");
  std::promise<void> release = BlockWindow();
  cycle.HandleFrame(ViewOf(first.get()));
  cycle.HandleFrame(ViewOf(second.get()));
  EXPECT_EQ(station.CommandsPosted(), posted + 1);
  EXPECT_TRUE(cycle.ResultCommandPending());
  release.set_value();
  station.window.Drain();
  EXPECT_EQ(station.Shown(), (std::vector<std::string>{"種類：CODE 128\r\n\r\nSECOND"}));
  EXPECT_EQ(station.Box(), "種類：CODE 128\r\n\r\nSECOND");
  EXPECT_FALSE(cycle.ResultCommandPending());
  EXPECT_EQ(cycle.PendingResult().kind, 0);
}

TEST_F(ReadingCycleTest, WithoutStopAfterReadingTheBoxFollowsTheDecodingFrames) {
  StartReading();
  DibPtr a = BarcodePicture("ALPHA");
  DibPtr b = BarcodePicture("BRAVO");
  for (DibImage picture : {a.get(), b.get(), a.get()}) {
    cycle.HandleFrame(ViewOf(picture));
    station.window.Drain();
  }
  EXPECT_EQ(station.Shown(), (std::vector<std::string>{"種類：CODE 128\r\n\r\nALPHA", "種類：CODE 128\r\n\r\nBRAVO",
                                                       "種類：CODE 128\r\n\r\nALPHA"}));
  EXPECT_TRUE(cycle.running());
  EXPECT_EQ(stream.stops.load(), 0);
}

TEST_F(ReadingCycleTest, StopAfterReadingKeepsTheFirstShownResult) {
  station.EditSettings([](SettingsRecord& s) { s.OneDecode = 1; });
  StartReading();
  DibPtr a = BarcodePicture("KEEP");
  DibPtr b = BarcodePicture("NEWER");
  // A second frame decodes before the window takes the first result: the one
  // queued command shows the newer result, and nothing empties it afterwards.
  std::promise<void> release = BlockWindow();
  cycle.HandleFrame(ViewOf(a.get()));
  cycle.HandleFrame(ViewOf(b.get()));
  release.set_value();
  station.window.Drain();
  EXPECT_EQ(station.Box(), "種類：CODE 128\r\n\r\nNEWER");
  EXPECT_FALSE(cycle.running());
  EXPECT_FALSE(station.ButtonPressed());
  EXPECT_EQ(station.Caption(), "読取開始");
  EXPECT_EQ(stream.stops.load(), 1);

  // Frames after the stop change nothing.
  const int32_t display = ring.displayIndex();
  cycle.HandleFrame(ViewOf(a.get()));
  station.window.Drain();
  EXPECT_EQ(ring.displayIndex(), display);
  EXPECT_EQ(station.Box(), "種類：CODE 128\r\n\r\nNEWER");
  EXPECT_EQ(station.Shown().size(), 1u);
  EXPECT_FALSE(cycle.ResultCommandPending());
}

TEST_F(ReadingCycleTest, LongTextsAreShownWholeAndCutCharactersDropped) {
  ASSERT_EQ(ring.Allocate(1024, 480), FrameRing::kOk);
  station.EditSettings([](SettingsRecord& s) {
    s.Area[0] = 0;
    s.Area[1] = 0;
    s.Area[2] = 1023;
    s.Area[3] = 479;
    s.CODE128_Max = 64;
  });
  std::string e60;
  std::string e49;
  std::string kanji60;
  std::string kanji49;
  for (int i = 0; i < 60; ++i) e60 += "é";
  for (int i = 0; i < 49; ++i) e49 += "é";
  for (int i = 0; i < 60; ++i) kanji60 += "\x8a\xbf";  // 漢 in Shift JIS
  for (int i = 0; i < 49; ++i) kanji49 += "漢";
  const std::string digits48 = "123456789012345678901234567890123456789012345678";
  DibPtr barcode = BarcodePicture(digits48, 1024, 480, 2.0);
  DibPtr qrUtf8 = QrPicture(e60, {"--binary"}, 1024, 480, 4.0);
  DibPtr qrKanji = QrPicture(kanji60, {"--binary"}, 1024, 480, 4.0);
  struct Case {
    const char* what;
    int32_t barcode, qr;
    DibImage picture;
    std::string ending;
  } cases[] = {
      {"48-character barcode", 1, 0, barcode.get(), "\r\n\r\n" + digits48},
      {"UTF-8 QR cut at 99 bytes", 0, 1, qrUtf8.get(), "\r\n\r\n" + e49},
      {"Kanji QR cut at 99 bytes", 0, 1, qrKanji.get(), "\r\n\r\n" + kanji49},
  };
  StartReading();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    station.EditSettings([&](SettingsRecord& s) {
      s.BarCodeEnable = c.barcode;
      s.QRCodeEnable = c.qr;
    });
    const size_t before = station.Shown().size();
    cycle.HandleFrame(ViewOf(c.picture));
    station.window.Drain();
    const std::vector<std::string> shown = station.Shown();
    ASSERT_EQ(shown.size(), before + 1);
    ASSERT_GE(shown.back().size(), c.ending.size());
    EXPECT_EQ(shown.back().substr(shown.back().size() - c.ending.size()), c.ending);
  }
}

TEST_F(ReadingCycleTest, TheShownResultCarriesTheWholeReadingBesideTheCutBox) {
  ASSERT_EQ(ring.Allocate(1024, 480), FrameRing::kOk);
  station.EditSettings([](SettingsRecord& s) {
    s.Area[0] = 0;
    s.Area[1] = 0;
    s.Area[2] = 1023;
    s.Area[3] = 479;
    s.BarCodeEnable = 0;
    s.QRCodeEnable = 1;
  });
  std::string long150;
  for (int i = 0; i < 150; ++i) long150 += static_cast<char>('A' + i % 26);
  DibPtr qr = QrPicture(long150, {"--binary"}, 1024, 480, 4.0);
  StartReading();
  const auto before = std::chrono::system_clock::now();
  cycle.HandleFrame(ViewOf(qr.get()));
  station.window.Drain();
  const auto after = std::chrono::system_clock::now();
  ASSERT_EQ(station.Shown().size(), 1u);
  EXPECT_EQ(station.Shown()[0].substr(station.Shown()[0].size() - 99), long150.substr(0, 99));
  const auto readings = station.ShownReadings();
  ASSERT_EQ(readings.size(), 1u);
  const Reading& whole = readings[0].first;
  EXPECT_EQ(whole.kind, CodeKind::kQrCode);
  EXPECT_EQ(whole.bytes, long150);
  EXPECT_EQ(whole.text, long150);
  EXPECT_GT(whole.milliseconds, 0.0);
  EXPECT_GE(readings[0].second, before);
  EXPECT_LE(readings[0].second, after);

  // The figures count every frame since the start; a frame without a code too.
  DibPtr blank = BlankPicture(1024, 480);
  cycle.HandleFrame(ViewOf(blank.get()));
  const ReadingFigureValues v = cycle.figures().Last(ReadingFigures::Clock::now());
  EXPECT_EQ(v.frames, 2);
  EXPECT_EQ(v.decoded, 2);
  EXPECT_GT(v.medianMilliseconds, 0.0);
  // Every decoder off: the frame counts, its time does not.
  station.EditSettings([](SettingsRecord& s) { s.QRCodeEnable = 0; });
  cycle.HandleFrame(ViewOf(blank.get()));
  EXPECT_EQ(cycle.figures().Last(ReadingFigures::Clock::now()).decoded, 2);
  EXPECT_EQ(cycle.figures().Last(ReadingFigures::Clock::now()).frames, 3);
  // A new start forgets them.
  station.PressReadStart();
  StartReading();
  EXPECT_EQ(cycle.figures().Last(ReadingFigures::Clock::now()).frames, 0);
}

TEST_F(ReadingCycleTest, StopWaitsForTheFrameBeingDecodedWhichThenStoresNothing) {
  StartReading();
  const int32_t posted = station.CommandsPosted();
  std::atomic<bool> frameDone{false};
  station.previewHook = [&] { frameDone = true; };
  DibPtr picture = BarcodePicture("INFLIGHT");

  std::unique_lock<std::mutex> trial(DecoderMutex());  // a trial read holds the decoders
  std::thread capture([&] { cycle.HandleFrame(ViewOf(picture.get())); });
  // Copied and waiting for the decoders: a stop that came before the frame's
  // reading asked for them would rightly skip the decode and not wait.
  ASSERT_TRUE(WaitUntil([&] { return ring.displayIndex() == 1 && ThreadSleeps(station.ReaderThread()); }));

  std::future<void> stopped = station.window.Start([&] { cycle.StopReading(); });
  EXPECT_EQ(stopped.wait_for(100ms), std::future_status::timeout) << "stop returned during a decode";
  trial.unlock();
  stopped.wait();
  EXPECT_TRUE(frameDone.load()) << "stop returned before the frame was handled";
  capture.join();
  station.window.Drain();
  EXPECT_EQ(cycle.PendingResult().kind, 0);
  EXPECT_EQ(station.CommandsPosted(), posted);
  EXPECT_EQ(ring.LeasesHeld(), 0);

  // A callback that comes after the stop returns at once.
  frameDone = false;
  cycle.HandleFrame(ViewOf(picture.get()));
  EXPECT_FALSE(frameDone.load());
  EXPECT_EQ(ring.displayIndex(), 1);
}

// Painting, saving, loading a picture and trial reads on the window thread
// while frames keep coming: every slot the window sees holds one whole frame
// (or the loaded picture), every shown result is one of the frames' texts.
TEST_F(ReadingCycleTest, WindowAndCaptureThreadsShareRingResultAndDecoders) {
  ASSERT_EQ(ring.Allocate(320, 240), FrameRing::kOk);
  station.EditSettings([](SettingsRecord& s) {
    s.Area[0] = 0;
    s.Area[1] = 0;
    s.Area[2] = 319;
    s.Area[3] = 239;
  });
  DibPtr a = BarcodePicture("AAA1", 320, 240, 2.0);
  DibPtr b = BarcodePicture("BBB2", 320, 240, 2.0);
  const size_t bytes = static_cast<size_t>(DibGetStride(a.get())) * 240;
  auto sum = [bytes](const uint8_t* p) {
    uint64_t s = 1469598103934665603ull;
    for (size_t i = 0; i < bytes; ++i) s = (s ^ p[i]) * 1099511628211ull;
    return s;
  };
  std::vector<uint8_t> loaded(bytes, 0x42);
  const std::vector<uint8_t> empty(bytes, 0);  // slot 0 before the first frame
  const std::set<uint64_t> whole = {sum(DibGetBits(a.get())), sum(DibGetBits(b.get())), sum(loaded.data()),
                                    sum(empty.data())};

  StartReading();
  std::atomic<bool> done{false};
  std::thread capture([&] {
    for (int i = 0; i < 60; ++i) cycle.HandleFrame(ViewOf((i % 2 == 0 ? a : b).get()));
    done = true;
  });
  int32_t torn = 0;
  int32_t trials = 0;
  while (!done.load()) {
    station.window.Run([&] {
      {
        FrameRing::Lease paint = ring.ReadDisplayed();
        if (paint && whole.count(sum(DibGetBits(paint.image()))) == 0) ++torn;
      }
      {
        FrameRing::Lease load = ring.WriteDisplayed();
        std::memcpy(DibGetBits(load.image()), loaded.data(), bytes);
      }
      {
        FrameRing::Lease trial = ring.ReadDisplayed();
        char typeName[20];
        char data[kDecodeDataBytes];
        int32_t length = 0;
        int32_t position[4];
        std::lock_guard<std::mutex> lock(DecoderMutex());
        if (DecodeBarcode(trial.image(), station.Settings(), cycle.CurrentOverlayOrigin(), typeName, &length,
                          position, data) == 0) {
          ++trials;
        }
      }
    });
  }
  capture.join();
  station.window.Drain();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(ring.LeasesHeld(), 0);
  for (const std::string& text : station.Shown()) {
    EXPECT_TRUE(text == "種類：CODE 128\r\n\r\nAAA1" || text == "種類：CODE 128\r\n\r\nBBB2") << text;
  }
  EXPECT_FALSE(station.Shown().empty());
}

// ---------------------------------------------------------------------------
// Stream failures: the device reports an error on its streaming thread; the
// window stops the stream and tells the operator.

TEST_F(ReadingCycleTest, AStreamFailureClosesTheDoorAndTheWindowStopsTheStreamAndTellsIt) {
  StartReading();
  DibPtr picture = BarcodePicture("BEFORE");
  cycle.HandleFrame(ViewOf(picture.get()));
  station.window.Drain();
  ASSERT_EQ(station.Shown().size(), 1u);

  // A decode in flight when the device fails stores nothing.
  const int32_t posted = station.CommandsPosted();
  std::unique_lock<std::mutex> trial(DecoderMutex());
  std::thread capture([&] { cycle.HandleFrame(ViewOf(picture.get())); });
  ASSERT_TRUE(WaitUntil([&] { return ring.displayIndex() == 2; }));
  std::promise<void> release = BlockWindow();
  std::thread failing([&] {
    cycle.StreamFailed("USB Camera", "Could not read from resource.");
    cycle.StreamFailed("USB Camera", "Internal data stream error.");  // what follows from the first
  });
  failing.join();
  trial.unlock();
  capture.join();
  EXPECT_EQ(station.CommandsPosted(), posted);
  EXPECT_EQ(cycle.PendingResult().kind, 0);

  // Until the window takes the failure: the failing thread stopped nothing,
  // and frames that still come are not taken.
  EXPECT_FALSE(cycle.AcceptingFrames());
  EXPECT_TRUE(cycle.running());
  EXPECT_EQ(stream.stops.load(), 0);
  const uint64_t handled = cycle.FramesHandled();
  cycle.HandleFrame(ViewOf(picture.get()));
  EXPECT_EQ(cycle.FramesHandled(), handled);
  EXPECT_EQ(station.FailuresPosted(), 1);

  release.set_value();
  station.window.Drain();
  const std::vector<StreamFailureOutcome> failures = station.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].device, "USB Camera");
  EXPECT_EQ(failures[0].error, "Could not read from resource.");
  EXPECT_TRUE(failures[0].stoppedReading);
  EXPECT_FALSE(cycle.running());
  EXPECT_EQ(stream.stops.load(), 1);
  EXPECT_EQ(station.Caption(), "読取開始");
  EXPECT_FALSE(station.ButtonPressed());
  EXPECT_EQ(ring.LeasesHeld(), 0);

  // The station stays usable: reading starts again and reads.
  StartReading();
  cycle.HandleFrame(ViewOf(picture.get()));
  station.window.Drain();
  EXPECT_EQ(station.Shown().size(), 2u);
  EXPECT_TRUE(cycle.running());
}

TEST_F(ReadingCycleTest, AFailureIsOnlyTheCyclesWhileReadingIsOnAndStopsOnlyItsOwnReading) {
  // Reading off: a device error (e.g. while a size is tried) is not told here.
  cycle.StreamFailed("USB Camera", "while idle");
  station.window.Drain();
  EXPECT_EQ(station.FailuresPosted(), 0);
  station.window.Run([&] { EXPECT_FALSE(cycle.OnStreamFailure().failed); });

  // A failure whose reading the operator stopped and started again before the
  // window took it: told, and the new reading stays on.
  StartReading();
  {
    std::promise<void> release = BlockWindow();
    cycle.StreamFailed("USB Camera", "first reading");
    cycle.StopReading();  // the window thread is busy; the test stands in for it
    ASSERT_EQ(cycle.StartReading(), 0);
    release.set_value();
  }
  station.window.Drain();
  ASSERT_EQ(station.Failures().size(), 1u);
  EXPECT_EQ(station.Failures()[0].error, "first reading");
  EXPECT_FALSE(station.Failures()[0].stoppedReading);
  EXPECT_TRUE(cycle.running());
  EXPECT_TRUE(cycle.AcceptingFrames());

  // A failure of the new reading while an older one waits: the newer is told
  // and stops its reading, with one queued call for both.
  {
    std::promise<void> release = BlockWindow();
    cycle.StreamFailed("USB Camera", "old");
    cycle.StopReading();
    ASSERT_EQ(cycle.StartReading(), 0);
    cycle.StreamFailed("USB Camera", "new");
    release.set_value();
  }
  station.window.Drain();
  ASSERT_EQ(station.Failures().size(), 2u);
  EXPECT_EQ(station.Failures()[1].error, "new");
  EXPECT_TRUE(station.Failures()[1].stoppedReading);
  EXPECT_FALSE(cycle.running());
  EXPECT_EQ(station.FailuresPosted(), 2);
}

// A start that the device refuses: the stream reports why while it starts.
TEST_F(ReadingCycleTest, AStartThatFailsIsToldAndLeavesReadingOff) {
  struct RefusingStream : CaptureStream {
    int32_t RunStream() override {
      cycle->StreamFailed("USB Camera", "Device is busy");
      return -18;
    }
    void StopStream() override {}
    ReadingCycle* cycle = nullptr;
  } refusing;
  refusing.cycle = &cycle;
  cycle.SetStream(&refusing);
  station.PressReadStart();
  station.window.Drain();
  EXPECT_FALSE(cycle.running());
  ASSERT_EQ(station.Failures().size(), 1u);
  EXPECT_EQ(station.Failures()[0].error, "Device is busy");
  EXPECT_FALSE(station.Failures()[0].stoppedReading);
  EXPECT_EQ(station.Caption(), "読取開始");
  cycle.SetStream(&stream);
}

}  // namespace
}  // namespace vantrel::test
