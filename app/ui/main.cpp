#include <cstdio>

int main() {
  std::puts("QuorvaBackup");
  return 0;
}
