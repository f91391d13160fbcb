#include <iostream>

#include "kefconvert/kefconvert.h"

int main(int argc, char** argv) {
  kefconvert::Convert converter;  // may convert many files, one after another
  for (int i = 1; i < argc; ++i) {
    try {
      std::optional<std::string> converted = converter.ConvertProject(argv[i]);
      std::cout << (converted ? *converted : "not a project file") << '\n';
    } catch (const kefconvert::Error& error) {  // number(), description(), line()
      std::cerr << argv[i] << ": " << error.what() << " (error " << error.number() << ")\n";
      return 2;
    }
  }
}
