// The start-up and memory baseline: a minimal C++ program that prints one line.
#include <cstdio>

int main() {
  std::puts("hello");
  return 0;
}
