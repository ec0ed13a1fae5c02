// The least a Qt 6 Widgets program does to show a window of the tool's size:
// the floor the tool's start-up and memory are compared with.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Tavel Tool");
  window.resize(640, 457);
  window.show();
  return QApplication::exec();
}
