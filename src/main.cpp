#include <cstdio>
int main() { std::printf("tidewater: under construction\n"); return 0; }
