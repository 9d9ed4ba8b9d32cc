// tolvik: replay recordings, read, configure and simulate receivers, with the Tolvik library.
#include "Cli.h"

int main(int argc, char** argv) { return tolvik::tool::RunTool(argc, argv); }
