// zerviko-loader: the firmware loader wizard.
#include "ui/qt/LoaderApp.h"

int main(int argc, char** argv) {
  CLoaderApp app(argc, argv);
  app.InitInstance();
  return 0;
}
