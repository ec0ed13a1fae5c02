#pragma once

#include <stdlib.h>

#include <QApplication>

namespace tavel::fuzz {

// The window needs a Qt application. It lives for the whole fuzzing process
// and is never destroyed, so no teardown order with Qt's globals matters.
inline void StartOffscreenApp() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "tavel-fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

}  // namespace tavel::fuzz
