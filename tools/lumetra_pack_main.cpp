#include <iostream>

#include "lumetra_pack.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    return lumetra_pack::Main(args, std::cout, std::cerr);
}
