// Vexal_Configuration_Utility: reads and changes a Vexal hub's settings.
#include "utility/qt/LumaroApp.h"

int main(int argc, char** argv) { return vexal::utility::CLumaroApp::Main(argc, argv); }
