// The environment of a GUI test program that runs the whole station: the Qt
// application and the libraries the window's decoders and drawing need, made
// once before the first test and ended after the last.
#ifndef VANTREL_TESTS_GUI_STATION_ENVIRONMENT_H
#define VANTREL_TESTS_GUI_STATION_ENVIRONMENT_H

#include "gui/qt_test_app.h"
#include "gui/station_fixture.h"

namespace vantrel::test {

class StationEnvironment : public QtApplicationEnvironment {
 public:
  void SetUp() override {
    QtApplicationEnvironment::SetUp();
    StartStationLibraries();
  }
  void TearDown() override {
    StopStationLibraries();
    QtApplicationEnvironment::TearDown();
  }
};

}  // namespace vantrel::test

#endif
