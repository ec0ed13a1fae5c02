#include "app/form1.h"
#include "ui/widgets/application.h"

int main(int argc, char** argv) {
  try {
    tavel::ui::TApplication application(argc, argv);
    try {
      application.Initialize();
      application.CreateForm(tavel::Form1);
      application.Run();
    } catch (const tavel::ui::Exception& e) {
      tavel::ui::ShowException(e.Message());
    } catch (...) {
      tavel::ui::ShowException("");
    }
    tavel::Form1.reset();
  } catch (...) {
  }
  return 0;
}
