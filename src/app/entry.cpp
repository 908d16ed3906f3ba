#include "app/main.h"

int main(int argc, char** argv) { return logserver_main(argc, argv); }
