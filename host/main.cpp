#include <cstdio>

int main() {
  std::puts("RUNNING MAV SERVICES");
  return 0;
}
