#include <cstdio>
int main() { std::printf("qxdat: under construction\n"); return 1; }
