#include <iostream>
#include <string>
#include <vector>

#include "app/entry.h"

int main(int argc, char** argv) {
  // Linux hands narrow arguments: each byte already is the low byte of the wide character.
  std::vector<std::string> arguments(argv, argv + argc);
  return brevox::runBrevox(arguments, std::cout, std::cerr);
}
