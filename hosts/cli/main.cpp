#include <cstdio>
int main() {
    std::fputs("usage: lumora decode FILE [-o OUT] [options]\n", stderr);
    return 2;
}
