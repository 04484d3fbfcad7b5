// The program: one main window to compare two schemas and update the target.
#include "demo/window/ProgramStart.h"

int main(int argc, char** argv) { return qnl::RunQuarDemo(argc, argv); }
