#include "program.h"

int main(int argc, char** argv) { return korvane::runEditor(argc, argv); }
