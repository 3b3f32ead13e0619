// Simulated flash tool: accepts the flash-support command lines and succeeds.
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "-flashsupport") != 0) return 1;
  return 0;
}
